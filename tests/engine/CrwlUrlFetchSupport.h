// An owner for fetching URL records in tests: records every hand-over with the thread it came
// on, sends queued records again as a pump would, and answers the scope questions for a
// loopback site.
#pragma once

#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlTestSupport.h"
#include "platform/Dispatch.h"

#include <QByteArray>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

namespace crawlmere::test {

class FetchOwner : public RecordingOwner {
public:
    /// One hand-over: its name, the record's status then, and whether it ran on the main thread.
    struct Event {
        QString name;
        qint64 status = 0;
        bool onMainThread = false;
    };

    bool stopPressed() const override { return stopped.load(); }

    void addToCheckQueue(const std::shared_ptr<CrwlUrl>& record) override
    {
        note(QStringLiteral("addToCheckQueue"), record);
        // A pump: the record is sent again from the main queue.
        platform::Dispatch::toMain([record] { record->sendAsyncServerRequest(); });
    }
    void incNumberDone(const std::shared_ptr<CrwlUrl>& record) override
    {
        note(QStringLiteral("incNumberDone"), record);
    }
    void extractLinks(const std::shared_ptr<CrwlUrl>& record) override
    {
        note(QStringLiteral("extractLinks"), record);
        std::lock_guard lock(mutex);
        extractedBodies.push_back(record->getData());
    }
    void threadHasFinished(const std::shared_ptr<CrwlUrl>& record) override
    {
        note(QStringLiteral("threadHasFinished"), record);
        finished.fetch_add(1);
    }
    bool isMailtoEtc(const QString& href) const override
    {
        return href.startsWith(QLatin1StringView("mailto:"), Qt::CaseInsensitive)
            || href.startsWith(QLatin1StringView("tel:"), Qt::CaseInsensitive);
    }
    bool redirectUrlIsExternal(const platform::Url& url) const override { return url.host() != u"127.0.0.1"; }
    /// URLs under "/never/" stand for those a scan never requests.
    bool isNeverRequested(const QString& url) const override { return url.contains(QLatin1StringView("/never/")); }
    void resetDomain(const CrwlUrl&) override { resetDomainCalls.fetch_add(1); }
    qint64 inProgressCount() const override { return inFlight.load(); }
    bool performSoft404CheckOnThisUrl(const std::shared_ptr<CrwlUrl>&) override
    {
        soft404Checks.fetch_add(1);
        soft404ChecksOnMainThread.fetch_add(platform::Dispatch::isMainThread() ? 1 : 0);
        return soft404Answer.load();
    }
    void addStringToDiagnosticTrace(const QString& line) override
    {
        std::lock_guard lock(mutex);
        trace.append(line);
    }
    void addRequestFieldsToDiagnostic(const QString& fields) override
    {
        std::lock_guard lock(mutex);
        requestFields.append(fields);
    }
    void sendWarningToWarningsManager(const QString& warning, const std::shared_ptr<CrwlUrl>& record) override
    {
        if (!platform::Dispatch::isMainThread())
            offMainHandOvers.fetch_add(1);
        RecordingOwner::sendWarningToWarningsManager(warning, record);
    }

    /// The names of the hand-overs so far, in order.
    QStringList names() const
    {
        std::lock_guard lock(mutex);
        QStringList list;
        for (const Event& event : events)
            list.append(event.name);
        return list;
    }
    int count(const QString& name) const { return int(names().count(name)); }
    std::vector<Event> eventList() const
    {
        std::lock_guard lock(mutex);
        return events;
    }

    /// Processes main-thread events until `threadHasFinished` has come `n` times in all
    /// (generous bound: a test that needs it has hung).
    bool waitForFinished(int n, std::chrono::milliseconds bound = std::chrono::seconds(30))
    {
        return platform::Dispatch::runUntil([&] { return finished.load() >= n; }, bound);
    }

    std::atomic<bool> stopped { false };
    std::atomic<bool> soft404Answer { false };
    std::atomic<int> soft404Checks { 0 };
    std::atomic<int> soft404ChecksOnMainThread { 0 };
    /// What `inProgressCount` answers.
    std::atomic<qint64> inFlight { 0 };
    std::atomic<int> finished { 0 };
    std::atomic<int> resetDomainCalls { 0 };
    std::atomic<int> offMainHandOvers { 0 };
    std::vector<QByteArray> extractedBodies;
    QStringList trace;
    QStringList requestFields;

private:
    void note(const QString& name, const std::shared_ptr<CrwlUrl>& record)
    {
        const bool main = platform::Dispatch::isMainThread();
        if (!main)
            offMainHandOvers.fetch_add(1);
        std::lock_guard lock(mutex);
        events.push_back({ name, record ? record->getStatus() : 0, main });
    }

    mutable std::mutex mutex;
    std::vector<Event> events;
};

} // namespace crawlmere::test
