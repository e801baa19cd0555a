// "Recheck page" over several pages of a scan: the pages load afresh side by side on the network
// thread while the main thread keeps running, and are read again on the main thread in order.
#pragma once

#include <QByteArray>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CrwlUrl;
class Z12Ara;

namespace crawlmere::platform {
class UrlSession;
}

/// One recheck of a list of pages. As many pages load at once as the scan fetches
/// (`numberOfThreads`), and no more run ahead of the first page not yet read; each page is read
/// again (`CrwlUrl::readPageAgain`) as soon as it and every page before it have loaded, so the
/// scan ends as it would after rechecking the pages one after the other. A page that could not
/// be loaded, or that an earlier page's reading took out of the scan, is passed over.
///
/// It keeps itself alive while pages load and holds the hub weakly. When the hub is gone or
/// has been cleared for another scan, the loads still under way are cancelled and nothing more
/// is read. Main thread only.
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

    /// Drops the recheck: the loads under way are cancelled and no further page is read.
    void cancel();
    /// Pages whose load has ended.
    std::size_t pagesLoaded() const { return loadsEnded; }

private:
    PageRecheck() = default;
    bool hubStillHoldsItsScan() const;
    void startLoads();
    void loaded(std::size_t index, std::optional<QByteArray> body);
    void readLoadedPages();
    void finish(Outcome outcome);

    std::weak_ptr<Z12Ara> hub;
    quint64 scanNumber = 0;
    std::vector<std::shared_ptr<CrwlUrl>> pages;
    /// Per page: whether its load has ended, and what it brought.
    std::vector<bool> hasLoaded;
    std::vector<std::optional<QByteArray>> bodies;
    std::vector<std::shared_ptr<crawlmere::platform::UrlSession>> sessions;
    std::size_t nextToLoad = 0;
    std::size_t nextToRead = 0;
    std::size_t loadsAhead = 1;
    std::size_t loadsEnded = 0;
    std::function<void(Outcome)> finished;
    bool ended = false;
};
