// Rechecking several pages of a scan without holding up the main thread.
#include "engine/PageRecheck.h"

#include "engine/CrawlSettingTable.h"
#include "engine/CrwlUrl.h"
#include "engine/Z12Ara.h"
#include "platform/Log.h"
#include "platform/UrlSession.h"

#include <algorithm>

using crawlmere::platform::logLine;

std::shared_ptr<PageRecheck> PageRecheck::start(const std::shared_ptr<Z12Ara>& hub,
    std::vector<std::shared_ptr<CrwlUrl>> pages, std::function<void(Outcome)> finished)
{
    std::erase(pages, nullptr);
    if (!hub || pages.empty())
        return nullptr;
    std::shared_ptr<PageRecheck> recheck(new PageRecheck);
    recheck->hub = hub;
    recheck->scanNumber = hub->scanNumber();
    recheck->hasLoaded.assign(pages.size(), false);
    recheck->bodies.resize(pages.size());
    recheck->sessions.resize(pages.size());
    recheck->pages = std::move(pages);
    recheck->loadsAhead = std::size_t(std::max<qint64>(
        1, crawlmere::engine::settingIntegerInRange(hub->getCrawlSettings(), crawlKey::numberOfThreads)));
    recheck->finished = std::move(finished);
    recheck->startLoads();
    return recheck;
}

void PageRecheck::cancel()
{
    if (ended)
        return;
    for (const auto& session : sessions) {
        if (session)
            session->cancel();
    }
    finish(Outcome::Dropped);
}

bool PageRecheck::hubStillHoldsItsScan() const
{
    const auto alive = hub.lock();
    return alive && alive->scanNumber() == scanNumber;
}

void PageRecheck::startLoads()
{
    // The loads keep the recheck alive until each has ended; a page's body waits, read, only
    // until the pages before it have loaded, so no more than `loadsAhead` are ever held.
    while (!ended && nextToLoad < pages.size() && nextToLoad - nextToRead < loadsAhead) {
        const std::size_t index = nextToLoad++;
        sessions[index]
            = pages[index]->loadPageAgain([self = shared_from_this(), index](std::optional<QByteArray> body) {
                  self->loaded(index, std::move(body));
              });
    }
}

void PageRecheck::loaded(std::size_t index, std::optional<QByteArray> body)
{
    if (ended)
        return;
    sessions[index].reset();
    hasLoaded[index] = true;
    ++loadsEnded;
    bodies[index] = std::move(body);
    readLoadedPages();
}

void PageRecheck::readLoadedPages()
{
    while (!ended && nextToRead < pages.size() && hasLoaded[nextToRead]) {
        // A page's reading may end the scan, and what follows its end may start another.
        if (!hubStillHoldsItsScan()) {
            logLine(1, QStringLiteral("the scan has changed: the pages left to recheck are dropped"));
            cancel();
            return;
        }
        const std::shared_ptr<CrwlUrl> page = pages[nextToRead];
        std::optional<QByteArray> body = std::move(bodies[nextToRead]);
        bodies[nextToRead].reset();
        ++nextToRead;
        if (!body)
            continue;
        // A page that the reading of an earlier one left linked from nowhere is no longer the
        // scan's.
        if (!hub.lock()->linksCollection().contains(page)) {
            logLine(1, QStringLiteral("%1 has left the scan and is not read again").arg(page->absoluteString()));
            continue;
        }
        page->readPageAgain(*body);
    }
    if (ended)
        return;
    if (nextToRead == pages.size())
        finish(Outcome::AllPagesRead);
    else
        startLoads();
}

void PageRecheck::finish(Outcome outcome)
{
    ended = true;
    sessions.clear();
    bodies.clear();
    if (const auto done = std::move(finished))
        done(outcome);
}
