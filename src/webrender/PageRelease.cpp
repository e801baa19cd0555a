// Pages released before their profiles, during the run and at its end.
#include "webrender/PageRelease.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <algorithm>
#include <vector>

namespace crawlmere::webrender {

namespace {

struct Released {
    QPointer<QWebEnginePage> page;
    QPointer<QWebEngineProfile> profile;
};

std::vector<Released>& released()
{
    static std::vector<Released> list;
    return list;
}

/// At the application's end, before the browser engine's own clean-up: routines added later run
/// earlier, and this one is added after the engine has started (a page exists by then).
void releaseWhatIsLeft()
{
    std::vector<Released> left = std::move(released());
    released().clear();
    for (const Released& entry : left)
        delete entry.page.data();
    for (const Released& entry : left)
        delete entry.profile.data();
}

} // namespace

void releasePage(QWebEnginePage* page, QWebEngineProfile* profile)
{
    if (!page) {
        delete profile;
        return;
    }
    static const bool cleanUpAdded = [] {
        qAddPostRoutine(&releaseWhatIsLeft);
        return true;
    }();
    Q_UNUSED(cleanUpAdded);
    auto& list = released();
    list.erase(
        std::remove_if(list.begin(), list.end(), [](const Released& entry) { return !entry.page && !entry.profile; }),
        list.end());
    list.push_back({ page, profile });
    if (profile) {
        const QPointer<QWebEngineProfile> guarded = profile;
        QObject::connect(page, &QObject::destroyed, [guarded] {
            if (guarded)
                guarded->deleteLater();
        });
    }
    page->deleteLater();
}

int pagesAwaitingRelease()
{
    const auto& list = released();
    return int(std::count_if(list.begin(), list.end(), [](const Released& entry) { return !entry.page.isNull(); }));
}

int releasesPending()
{
    const auto& list = released();
    return int(std::count_if(
        list.begin(), list.end(), [](const Released& entry) { return entry.page || entry.profile; }));
}

} // namespace crawlmere::webrender
