// "Recheck page" over several pages of a scan: the pages are fetched afresh side by side, as the
// scan fetches them, while the main thread keeps running, and are read again in order.
#pragma once

#include "engine/Z12Ara.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CrwlUrl;

/// One recheck of a list of pages. Each page is fetched again by the scan itself
/// (`Z12Ara::fetchPageAgain`: the scan's request, redirects, status and error), as many at once
/// as the scan fetches (`numberOfThreads`), and no more run ahead of the first page not yet
/// read; each page is read again (`Z12Ara::readPageAgain`) as soon as it and every page before
/// it have been fetched, so the scan ends as it would after rechecking the pages one after the
/// other. A page that an earlier page's reading took out of the scan is passed over.
///
/// It keeps itself alive while pages are fetched and holds the hub weakly. When the hub has
/// been cleared for another scan, nothing more is read and the recheck is dropped. Main thread
/// only.
class PageRecheck : public std::enable_shared_from_this<PageRecheck> {
public:
    /// How a recheck ended: every page was handled, or it was dropped (hub gone or cleared,
    /// `cancel`).
    enum class Outcome { AllPagesRead, Dropped };

    /// Starts rechecking `pages` of `hub`'s scan; `finished` runs once on the main thread after
    /// this returns, when the last page was read or the recheck was dropped. Null (and nothing
    /// started) without a hub or pages.
    static std::shared_ptr<PageRecheck> start(const std::shared_ptr<Z12Ara>& hub,
        std::vector<std::shared_ptr<CrwlUrl>> pages, std::function<void(Outcome)> finished);

    /// Drops the recheck: no further page is read by it. A page whose fetch is under way is
    /// still read when it ends, while its scan lasts, so that it never keeps links its new
    /// answer lacks.
    void cancel();
    /// Pages whose fetch has ended, and pages read again (or passed over).
    std::size_t pagesLoaded() const { return loadsEnded; }
    std::size_t pagesDone() const { return nextToRead; }

private:
    PageRecheck() = default;
    bool hubStillHoldsItsScan() const;
    void startLoads();
    void loaded(std::size_t index, std::optional<Z12Ara::PageFetchedAgain> fetched);
    void readLoadedPages();
    void finish(Outcome outcome);

    std::weak_ptr<Z12Ara> hub;
    quint64 scanNumber = 0;
    std::vector<std::shared_ptr<CrwlUrl>> pages;
    /// Per page: whether its fetch has ended, and what it left to read (none: passed over).
    std::vector<bool> hasLoaded;
    std::vector<std::optional<Z12Ara::PageFetchedAgain>> fetchedPages;
    std::size_t nextToLoad = 0;
    std::size_t nextToRead = 0;
    std::size_t loadsAhead = 1;
    std::size_t loadsEnded = 0;
    std::function<void(Outcome)> finished;
    bool ended = false;
};
