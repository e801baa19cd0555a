// The locate window's route text.
#include "views/LocateText.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlURLDelegate.h"
#include "engine/CrwlUrl.h"
#include "engine/Z12Ara.h"

#include <QSet>

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

    // The route, walked back from the page through the way each page was first reached: a link
    // on the referring page, or a redirect, which is named as a step of its own.
    QString route;
    QSet<const CrwlUrl*> seen { page.get() };
    std::shared_ptr<CrwlUrl> current = page;
    while (!current->isStartingPoint()) {
        const std::shared_ptr<CrwlLinkInstance> first = firstWayIn(*current);
        const std::shared_ptr<CrwlUrl> referrer = first ? first->parent() : nullptr;
        if (!referrer)
            break;
        if (seen.contains(referrer.get())) {
            route.prepend(QStringLiteral("<p>The route back to the starting page returns to %1 here, so it ends.</p>")
                              .arg(esc(referrer->absoluteString())));
            break;
        }
        seen.insert(referrer.get());
        route.prepend(Z12Ara::isRedirectArrival(*first) ? redirectLine(*referrer, *current)
                                                        : stepLine(*referrer, first->linkText()));
        current = referrer;
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

} // namespace crawlmere::views
