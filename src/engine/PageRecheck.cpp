// Rechecking several pages of a scan without holding up the main thread.
#include "engine/PageRecheck.h"

#include "engine/CrawlSettingTable.h"
#include "engine/CrwlUrl.h"
#include "engine/LinkExtractionParser.h"
#include "platform/Log.h"

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
    recheck->fetchedPages.resize(pages.size());
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
    finish(Outcome::Dropped);
}

bool PageRecheck::hubStillHoldsItsScan() const
{
    const auto alive = hub.lock();
    return alive && alive->scanNumber() == scanNumber;
}

void PageRecheck::startLoads()
{
    // The hub's fetches keep the recheck alive until each has ended; a page fetched waits, unread,
    // only until the pages before it have been, so no more than `loadsAhead` are ever held.
    const auto alive = hub.lock();
    while (!ended && alive && nextToLoad < pages.size() && nextToLoad - nextToRead < loadsAhead) {
        const std::size_t index = nextToLoad++;
        alive->fetchPageAgain(
            pages[index], [self = shared_from_this(), index](std::optional<Z12Ara::PageFetchedAgain> fetched) {
                self->loaded(index, std::move(fetched));
            });
    }
}

void PageRecheck::loaded(std::size_t index, std::optional<Z12Ara::PageFetchedAgain> fetched)
{
    if (ended) {
        if (fetched && hubStillHoldsItsScan())
            hub.lock()->readPageAgain(pages[index], std::move(*fetched));
        return;
    }
    hasLoaded[index] = true;
    ++loadsEnded;
    fetchedPages[index] = std::move(fetched);
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
        std::optional<Z12Ara::PageFetchedAgain> fetched = std::move(fetchedPages[nextToRead]);
        fetchedPages[nextToRead].reset();
        ++nextToRead;
        if (!fetched)
            continue;
        // A page that the reading of an earlier one left linked from nowhere is no longer the
        // scan's.
        const auto alive = hub.lock();
        if (!alive->linksCollection().contains(page)) {
            logLine(1, QStringLiteral("%1 has left the scan and is not read again").arg(page->absoluteString()));
            continue;
        }
        alive->readPageAgain(page, std::move(*fetched));
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
    fetchedPages.clear();
    if (const auto done = std::move(finished))
        done(outcome);
}
