// The locate window's route text.
#include "views/LocateText.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlURLDelegate.h"
#include "engine/CrwlUrl.h"
#include "engine/Z12Ara.h"

#include <QSet>

#include <algorithm>
#include <deque>
#include <limits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace crawlmere::views {

namespace {

QString esc(const QString& value) { return value.toHtmlEscaped(); }

/// The start of a line about `page`: its link, shown by its address, and its title.
QString onThePage(const CrwlUrl& page)
{
    const QString url = esc(page.absoluteString());
    return QStringLiteral("<ul><li>On the page <a href = \"%1\" target = \"Crawlmere\">%1</a> (%2) ")
        .arg(url, esc(page.getLinkpagetitle()));
}

/// What follows `marker` in `text`, or "" when nothing does.
QString after(const QString& text, const QString& marker)
{
    const qsizetype at = text.indexOf(marker);
    return at < 0 ? QString() : text.mid(at + marker.size());
}

QString stepLine(const CrwlUrl& referrer, const QString& text)
{
    QString image;
    bool isImage = true;
    if (text.contains(u"[alt]:"))
        image = after(text, QStringLiteral("[alt]:"));
    else if (text.contains(u"[linked img]"))
        image = text.size() >= 14 ? text.mid(13) : QString();
    else
        isImage = false;
    if (isImage)
        return onThePage(referrer) + QStringLiteral("click the image with alt text: \"%1\"</li></ul>").arg(esc(image));
    return onThePage(referrer) + QStringLiteral("click the link with text: \"%1\"</li></ul>").arg(esc(text));
}

/// The statuses of the hops of `redirect`'s chain, in order ("301, 302").
QString hopStatuses(const CrwlUrl& redirect)
{
    QStringList statuses;
    for (const QVariant& hop : redirect.redirectArray())
        statuses.append(QString::number(hop.toMap().value(QStringLiteral("status")).toLongLong()));
    return statuses.join(QStringLiteral(", "));
}

/// The line of a way in through a redirect: the redirecting address, its hops' statuses and
/// where it ends, then `tail` (markup).
QString redirectLine(const CrwlUrl& redirect, const CrwlUrl& page, const QString& tail = {})
{
    const QString from = esc(redirect.absoluteString());
    const QString to = esc(page.absoluteString());
    return QStringLiteral("<ul><li>The address <a href = \"%1\" target = \"Crawlmere\">%1</a> redirects (%2) to "
                          "<a href = \"%3\" target = \"Crawlmere\">%3</a>%4</li></ul>")
        .arg(from, hopStatuses(redirect), to, tail);
}

/// The way `page` was first reached: its first inbound occurrence, else the first redirect that
/// leads to it (a page reached only through a redirect has no inbound occurrence); null when
/// neither. The page a redirecting starting point lands on was reached through that redirect,
/// whatever links to it later.
std::shared_ptr<CrwlLinkInstance> firstWayIn(const CrwlUrl& page)
{
    const auto owner = page.getOwner();
    const auto& inbound = page.getInboundInstances();
    if (!inbound.empty() && !(owner && owner->isStartingPage(page)))
        return inbound.front();
    if (owner) {
        const auto arrivals = owner->getRedirectArrivalsTo(page);
        if (!arrivals.empty())
            return arrivals.front();
    }
    return inbound.empty() ? nullptr : inbound.front();
}

/// The ways, in order, that lead from a starting point to `page` in the fewest clicks (a link
/// is a click, a redirect none); empty when `page` is a starting point or no starting point
/// leads to it. Walked back from the page over every way in; each record keeps the way out of
/// it that begins its shortest route, among equally short ones a redirect before any link and
/// then the link that stands first on it. So the route hangs only on the pages' own links, not
/// on the order in which their occurrences were found or read again.
std::vector<std::shared_ptr<CrwlLinkInstance>> shortestRoute(const CrwlUrl& page)
{
    if (page.isStartingPoint())
        return {};
    constexpr qsizetype kUnplaced = std::numeric_limits<qsizetype>::max();
    struct WayOut {
        qint64 clicks = std::numeric_limits<qint64>::max();
        qsizetype rank = kUnplaced;
        std::shared_ptr<CrwlLinkInstance> way;
    };
    std::unordered_map<const CrwlUrl*, WayOut> best;
    std::unordered_map<const CrwlUrl*, std::unordered_map<const CrwlLinkInstance*, qsizetype>> places;
    const auto rankOf = [&](const CrwlLinkInstance& way, const CrwlUrl& from) {
        if (Z12Ara::isRedirectArrival(way))
            return qsizetype(-1);
        auto [placed, fresh] = places.try_emplace(&from);
        if (fresh) {
            qsizetype place = 0;
            for (const auto& occurrence : from.getOutboundInstances())
                placed->second.try_emplace(occurrence.get(), place++);
        }
        const auto found = placed->second.find(&way);
        return found == placed->second.end() ? kUnplaced : found->second;
    };
    std::vector<std::shared_ptr<CrwlUrl>> starts;
    std::deque<std::pair<const CrwlUrl*, qint64>> toWalk { { &page, 0 } };
    best[&page].clicks = 0;
    while (!toWalk.empty()) {
        const auto [record, clicks] = toWalk.front();
        toWalk.pop_front();
        if (clicks > best[record].clicks)
            continue; // reached again by a shorter way since
        for (const auto& way : record->getWaysIn()) {
            const std::shared_ptr<CrwlUrl> from = way ? way->parent() : nullptr;
            if (!from || from.get() == &page)
                continue;
            const bool redirect = Z12Ara::isRedirectArrival(*way);
            const qint64 fromClicks = clicks + (redirect ? 0 : 1);
            const qsizetype rank = rankOf(*way, *from);
            auto [entry, fresh] = best.try_emplace(from.get());
            WayOut& out = entry->second;
            if (fromClicks > out.clicks || (fromClicks == out.clicks && rank >= out.rank))
                continue;
            const bool shorter = fromClicks < out.clicks;
            out = { fromClicks, rank, way };
            if (!shorter)
                continue;
            if (fresh && from->isStartingPoint())
                starts.push_back(from);
            if (redirect)
                toWalk.emplace_front(from.get(), fromClicks);
            else
                toWalk.emplace_back(from.get(), fromClicks);
        }
    }
    const auto start = std::ranges::min_element(
        starts, {}, [&](const std::shared_ptr<CrwlUrl>& record) { return best[record.get()].clicks; });
    std::vector<std::shared_ptr<CrwlLinkInstance>> route;
    if (start == starts.end())
        return route;
    // Each step's record is held by the way before it.
    const CrwlUrl* current = start->get();
    while (current != &page && route.size() < best.size()) {
        std::shared_ptr<CrwlLinkInstance> way = best[current].way;
        const std::shared_ptr<CrwlUrl> next = way ? way->target() : nullptr;
        if (!next)
            return {};
        current = next.get();
        route.push_back(std::move(way));
    }
    return current == &page ? route : std::vector<std::shared_ptr<CrwlLinkInstance>>();
}

} // namespace

QString LocateText::locate(const CrwlLinkInstance& occurrence, bool dark)
{
    const std::shared_ptr<CrwlUrl> page = occurrence.parent();
    const std::shared_ptr<CrwlUrl> target = occurrence.target();
    if (!page || !target)
        return {};
    const QString kind = target->isImage() ? QStringLiteral("image") : QStringLiteral("link");
    // Values go in with one multi-argument arg() each, so a "%3" inside a URL is never read as
    // a place holder.
    const QString targetUrl = esc(target->absoluteString());
    const qint64 status = target->getStatus();
    const QString text = occurrence.linkText();

    QString body;
    if (Z12Ara::isRedirectArrival(occurrence)) {
        // A way in through a redirect: the redirect is what leads to the target.
        body = redirectLine(
            *page, *target, QStringLiteral(", our %1 with status: %2").arg(kind, QString::number(status)));
    } else if (text.contains(u"[alt]:")) {
        body = onThePage(*page)
            + QStringLiteral("our url: \"%1\", is an image with alt text: \"%2\" and status: %3</li></ul>")
                  .arg(targetUrl, esc(after(text, QStringLiteral("[alt]:"))), QString::number(status));
    } else if (target->isImage()) {
        const QString alt = text.startsWith(u"[inline style url]") ? after(text, QStringLiteral("[inline style url]")) : QString();
        body = onThePage(*page)
            + QStringLiteral("our image has url: \"%1\", alt text: \"%2\" and status: %3</li></ul>")
                  .arg(targetUrl, esc(alt), QString::number(status));
    } else {
        body = onThePage(*page)
            + QStringLiteral("our %1 has target url: \"%2\", link text: \"%3\" and status: %4</li></ul>")
                  .arg(kind, targetUrl, esc(text), QString::number(status));
    }

    const auto& inbound = target->getInboundInstances();
    if (inbound.size() >= 2) {
        int samePage = 0;
        int elsewhere = 0;
        for (const auto& other : inbound) {
            const std::shared_ptr<CrwlUrl> holder = other ? other->parent() : nullptr;
            if (holder && holder->absoluteString() == page->absoluteString())
                ++samePage;
            else
                ++elsewhere;
        }
        body += QStringLiteral("<p>&nbsp;</p><p>");
        if (samePage == 2)
            body
                += QStringLiteral("The same %1 also appears on this page %2 more time. ").arg(kind, QString::number(1));
        else if (samePage >= 3)
            body += QStringLiteral("The same %1 also appears on this page %2 more times. ")
                        .arg(kind, QString::number(samePage - 1));
        if (elsewhere == 1)
            body
                += QStringLiteral("There is %1 more instance of this %2 on another page").arg(QString::number(1), kind);
        else if (elsewhere > 1)
            body += QStringLiteral("There are %1 more instances of this %2 on other pages")
                        .arg(QString::number(elsewhere), kind);
        body += QStringLiteral("</p>");
    }

    // The route: the shortest from the starting point, each step a link on the referring page
    // or a redirect, named as a step of its own. Where no starting point leads to the page, the
    // way each page was first reached is walked back as far as it goes.
    QString route;
    if (const auto shortest = shortestRoute(*page); !shortest.empty()) {
        for (const auto& way : shortest) {
            const std::shared_ptr<CrwlUrl> referrer = way->parent();
            const std::shared_ptr<CrwlUrl> reached = way->target();
            route += Z12Ara::isRedirectArrival(*way) ? redirectLine(*referrer, *reached)
                                                     : stepLine(*referrer, way->linkText());
        }
    } else {
        QSet<const CrwlUrl*> seen { page.get() };
        std::shared_ptr<CrwlUrl> current = page;
        while (!current->isStartingPoint()) {
            const std::shared_ptr<CrwlLinkInstance> first = firstWayIn(*current);
            const std::shared_ptr<CrwlUrl> referrer = first ? first->parent() : nullptr;
            if (!referrer)
                break;
            if (seen.contains(referrer.get())) {
                route.prepend(
                    QStringLiteral("<p>The route back to the starting page returns to %1 here, so it ends.</p>")
                        .arg(esc(referrer->absoluteString())));
                break;
            }
            seen.insert(referrer.get());
            route.prepend(Z12Ara::isRedirectArrival(*first) ? redirectLine(*referrer, *current)
                                                            : stepLine(*referrer, first->linkText()));
            current = referrer;
        }
    }

    const QString heading
        = QStringLiteral("<p><b>Locating the %1 with target url: \"%2\" on the page: \"%3\". It has status: %4.</b></p><p>"
                         "There may be other routes through to this %5, this is the shortest.</p>")
              .arg(kind, targetUrl, esc(page->absoluteString()), QString::number(status), kind);
    // The heading is a bold paragraph of the text's own size: Qt's rich text gives a heading
    // element its large size whatever a relative font size in the style says.
    const QString style = dark ? QStringLiteral("<style>li,p{font-family:arial;color:white}</style>")
                               : QStringLiteral("<style>li,p{font-family:arial}</style>");
    return style + heading + route + body;
}

std::shared_ptr<CrwlLinkInstance> LocateText::wayInto(const CrwlUrl& page)
{
    if (page.isStartingPoint())
        return nullptr;
    if (const auto route = shortestRoute(page); !route.empty())
        return route.back();
    return firstWayIn(page);
}

} // namespace crawlmere::views
