// A crawl coordinator on a virtual clock with a fake transport and recording shell services, for
// tests of its pump, its scan control and its probes.
#pragma once

#include "engine/CrwlUrl.h"
#include "engine/EngineDefaults.h"
#include "engine/FetchTransport.h"
#include "engine/HubClock.h"
#include "engine/Z12Ara.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/RecordingShellServices.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace crawlmere::test {

/// Time that moves only when a test advances it; delayed work runs in due order.
class VirtualClock final : public HubClock {
public:
    VirtualClock()
        : m_now(QDateTime::fromMSecsSinceEpoch(1'700'000'000'000))
    {
    }
    QDateTime now() const override { return m_now; }
    void after(std::chrono::milliseconds delay, std::function<void()> work) override
    {
        m_pending.emplace(m_now.toMSecsSinceEpoch() + std::max<qint64>(delay.count(), 0), std::move(work));
    }
    /// Moves the clock forward by `ms`, running every piece of work that falls due on the way,
    /// at its own time (work that schedules more work is honoured).
    void advance(qint64 ms)
    {
        const qint64 end = m_now.toMSecsSinceEpoch() + ms;
        while (!m_pending.empty() && m_pending.begin()->first <= end) {
            auto node = m_pending.extract(m_pending.begin());
            m_now = QDateTime::fromMSecsSinceEpoch(node.key());
            node.mapped()();
        }
        m_now = QDateTime::fromMSecsSinceEpoch(end);
    }
    /// The thread that runs the work is held up for `ms`: time moves on without running
    /// anything, then the work that fell due meanwhile runs late, all at once, in due order.
    void stall(qint64 ms)
    {
        m_now = m_now.addMSecs(ms);
        while (!m_pending.empty() && m_pending.begin()->first <= m_now.toMSecsSinceEpoch()) {
            auto node = m_pending.extract(m_pending.begin());
            node.mapped()();
        }
    }
    qint64 elapsedMs(const QDateTime& since) const { return since.msecsTo(m_now); }
    size_t pendingCount() const { return m_pending.size(); }

private:
    QDateTime m_now;
    std::multimap<qint64, std::function<void()>> m_pending;
};

/// Records every start and cancellation; answers the probes' synchronous loads through a
/// handler (by default a 404 without a network request).
class FakeTransport final : public FetchTransport {
public:
    struct Start {
        std::shared_ptr<CrwlUrl> record;
        QDateTime at;
    };
    explicit FakeTransport(std::shared_ptr<VirtualClock> clock)
        : m_clock(std::move(clock))
    {
    }
    void startFetch(const std::shared_ptr<CrwlUrl>& record) override
    {
        starts.push_back({ record, m_clock->now() });
        ++inFlight;
        maxInFlight = std::max(maxInFlight, inFlight);
    }
    void cancelFetch(const std::shared_ptr<CrwlUrl>& record) override
    {
        cancelled.push_back(record);
        --inFlight;
    }
    crawlmere::platform::UrlLoadResult loadSynchronously(
        const crawlmere::platform::UrlRequest& request, std::chrono::milliseconds timeout) override
    {
        probeUrls.push_back(request.url);
        if (probesUseNetwork)
            return FetchTransport::loadSynchronously(request, timeout);
        if (loadHandler)
            return loadHandler(request, timeout);
        crawlmere::platform::UrlLoadResult result;
        result.response = crawlmere::platform::UrlResponse();
        result.response->url = request.url;
        result.response->statusCode = 404;
        return result;
    }

    /// Answered as `loadSynchronously` answers, on the virtual clock's next step.
    void loadInBackground(const crawlmere::platform::UrlRequest& request, std::chrono::milliseconds timeout,
        std::function<void(crawlmere::platform::UrlLoadResult)> done) override
    {
        m_clock->after(std::chrono::milliseconds(0),
            [result = loadSynchronously(request, timeout), done = std::move(done)] { done(result); });
    }

    /// The host a record's fetch looks up first: by default none (the record goes straight to
    /// a slot).
    QString hostToLookUp(const CrwlUrl& record) const override { return hostOf ? hostOf(record) : QString(); }
    /// Kept until the test answers it with `answerLookup`.
    void lookUpHost(
        const QString& host, std::function<void(std::optional<crawlmere::platform::UrlError>)> done) override
    {
        lookups.push_back({ host, std::move(done) });
    }
    /// Answers the first unanswered lookup of `host` (no error: found); false when there is none.
    bool answerLookup(const QString& host, std::optional<crawlmere::platform::UrlError> error = std::nullopt)
    {
        for (auto& lookup : lookups) {
            if (lookup.host == host && lookup.done) {
                auto done = std::move(lookup.done);
                lookup.done = nullptr;
                done(std::move(error));
                return true;
            }
        }
        return false;
    }
    int unansweredLookups() const
    {
        return static_cast<int>(
            std::count_if(lookups.begin(), lookups.end(), [](const Lookup& lookup) { return lookup.done != nullptr; }));
    }

    /// What the record's completion does: its status, then the three hand-offs to the hub.
    void complete(Z12Ara& hub, std::shared_ptr<CrwlUrl> record, qint64 status = 200)
    {
        --inFlight;
        record->setStatus(status);
        hub.incNumberDone(record);
        hub.threadHasFinished(record);
    }

    struct Lookup {
        QString host;
        std::function<void(std::optional<crawlmere::platform::UrlError>)> done;
    };

    std::vector<Start> starts;
    std::vector<std::shared_ptr<CrwlUrl>> cancelled;
    std::function<QString(const CrwlUrl&)> hostOf;
    std::vector<Lookup> lookups;
    std::vector<QString> probeUrls;
    std::function<crawlmere::platform::UrlLoadResult(const crawlmere::platform::UrlRequest&, std::chrono::milliseconds)>
        loadHandler;
    /// The probes load over real URL sessions (tests against a loopback server).
    bool probesUseNetwork = false;
    int inFlight = 0;
    int maxInFlight = 0;

private:
    std::shared_ptr<VirtualClock> m_clock;
};

/// Counts the hub's notifications while it lives.
class NotificationCounter {
public:
    NotificationCounter()
    {
        auto& center = crawlmere::platform::NotificationCenter::defaultCenter();
        for (const QString& name :
            { Z12Ara::CrwlCrawlDidFinish, Z12Ara::CrwlCrawlDidStop, Z12Ara::CrwlCrawlWillContinue,
                Z12Ara::CrwlUrlStatusUpdated, Z12Ara::CrwlListenerShouldUpdateData, Z12Ara::CrwlDidSaveArchiveIndex }) {
            center.addObserver(this, name, [this](const crawlmere::platform::Notification& n) {
                ++counts[n.name];
                objects[n.name].push_back(n.object);
            });
        }
    }
    ~NotificationCounter() { crawlmere::platform::NotificationCenter::defaultCenter().removeObserver(this); }
    NotificationCounter(const NotificationCounter&) = delete;
    NotificationCounter& operator=(const NotificationCounter&) = delete;

    int count(const QString& name) const
    {
        const auto it = counts.find(name);
        return it == counts.end() ? 0 : it->second;
    }
    std::map<QString, int> counts;
    std::map<QString, std::vector<std::shared_ptr<void>>> objects;
};

/// A hub wired to a virtual clock, a fake transport, recording shell services and a private
/// defaults store with the engine's defaults registered.
class HubFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        defaults
            = std::make_unique<crawlmere::platform::UserDefaults>(folder.filePath(QStringLiteral("defaults.plist")));
        crawlmere::engine::registerEngineDefaults(*defaults);
        hub = std::make_shared<Z12Ara>(*defaults);
        clock = std::make_shared<VirtualClock>();
        transport = std::make_shared<FakeTransport>(clock);
        prompts = std::make_shared<RecordingPrompts>();
        store = std::make_shared<RecordingSiteStore>();
        diagnostic = std::make_shared<RecordingDiagnostic>();
        hub->setClock(clock);
        hub->setTransport(transport);
        hub->setPrompts(prompts);
        hub->setConfigManager(store);
        hub->setDiagnostic(diagnostic);
        settings = std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings());
        hub->setCrawlSettings(settings);
    }
    void TearDown() override
    {
        // Records hold the hub weakly; the hub's tables hold the records. Drop the scan first.
        if (hub)
            hub->clear();
        hub.reset();
    }

    /// A record of this hub's scan (filed in its lookup table), not yet queued.
    std::shared_ptr<CrwlUrl> makeRecord(const QString& url)
    {
        auto record = CrwlUrl::make(hub, settings);
        record->setLinkURL(url);
        return record;
    }
    /// `count` records queued in order: http://site.test/p0 … p(count-1).
    std::vector<std::shared_ptr<CrwlUrl>> queueRecords(int count, int first = 0)
    {
        std::vector<std::shared_ptr<CrwlUrl>> records;
        for (int i = first; i < first + count; ++i) {
            auto record = makeRecord(QStringLiteral("http://site.test/p%1").arg(i));
            hub->add(record);
            hub->addToCheckQueue(record);
            records.push_back(record);
        }
        return records;
    }
    std::vector<QString> startedUrls() const
    {
        std::vector<QString> urls;
        for (const auto& start : transport->starts)
            urls.push_back(start.record->absoluteString());
        return urls;
    }

    QTemporaryDir folder;
    std::unique_ptr<crawlmere::platform::UserDefaults> defaults;
    std::shared_ptr<Z12Ara> hub;
    std::shared_ptr<VirtualClock> clock;
    std::shared_ptr<FakeTransport> transport;
    std::shared_ptr<RecordingPrompts> prompts;
    std::shared_ptr<RecordingSiteStore> store;
    std::shared_ptr<RecordingDiagnostic> diagnostic;
    SharedCrawlSettings settings;
};

} // namespace crawlmere::test
