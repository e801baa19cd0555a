// What the link inspector's redirect table shows for one link target, without any widget.
#include "views/LinkInspectorContent.h"

#include "engine/CrawlSettingKeys.h"
#include "platform/StoredValue.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/PunycodeAdditions.h"

#include <QSet>
#include <QVariantMap>

#include <algorithm>
#include <functional>

namespace crawlmere::views {

namespace {

const QStringList& relFlagColumns()
{
    static const QStringList columns { QStringLiteral("nofollow"), QStringLiteral("noreferrer"), QStringLiteral("noopener"),
        QStringLiteral("author"), QStringLiteral("alternate"), QStringLiteral("sponsored"), QStringLiteral("ugc") };
    return columns;
}

bool relFlag(const CrwlLinkInstance& occurrence, const QString& flag)
{
    static const QHash<QString, bool (CrwlLinkInstance::*)() const> getters {
        { QStringLiteral("nofollow"), &CrwlLinkInstance::getNofollow },
        { QStringLiteral("noreferrer"), &CrwlLinkInstance::getNoreferrer },
        { QStringLiteral("noopener"), &CrwlLinkInstance::getNoopener },
        { QStringLiteral("author"), &CrwlLinkInstance::getAuthor },
        { QStringLiteral("alternate"), &CrwlLinkInstance::getAlternate },
        { QStringLiteral("sponsored"), &CrwlLinkInstance::getSponsored },
        { QStringLiteral("ugc"), &CrwlLinkInstance::getUgc },
    };
    const auto getter = getters.value(flag);
    return getter && (occurrence.*getter)();
}

} // namespace

QList<TableColumn> LinkInspectorContent::onPageColumns()
{
    QList<TableColumn> columns { { QStringLiteral("1"), QStringLiteral("Appears on") },
        { QStringLiteral("linktext"), QStringLiteral("Link text") } };
    // Seven columns of "YES" and "NO" would take most of the window's width from the addresses
    // and link texts: hidden until chosen in the column pop-up.
    for (const QString& flag : relFlagColumns())
        columns.append({ flag, flag, /*hidden=*/true });
    columns.append({ { QStringLiteral("rel"), QStringLiteral("rel") }, { QStringLiteral("targetattr"), QStringLiteral("target") },
        { QStringLiteral("hreflang"), QStringLiteral("hreflang") }, { QStringLiteral("lineNumber"), QStringLiteral("Line") } });
    return columns;
}

LinkInspectorContent::OnPageList LinkInspectorContent::onPageList(const CrwlUrl& target)
{
    const auto& settings = target.getCrawlSettings();
    const bool trimHash = settings && crawlmere::platform::boolValue(settings->value(crawlKey::shouldTrimHash));
    OnPageList list;
    QSet<QString> pagesSeen;
    for (const auto& occurrence : target.getWaysIn()) {
        if (!occurrence)
            continue;
        if (!trimHash) {
            const auto page = occurrence->parent();
            const QString key = page ? CrwlUrl::forceTrimHash(page->absoluteString()) : QString();
            if (pagesSeen.contains(key))
                continue;
            pagesSeen.insert(key);
        }
        list.push_back(occurrence);
    }
    return list;
}

QString LinkInspectorContent::onPageCell(
    const OnPageList& list, qsizetype row, const QString& identifier, qint64 displayPageTitle, qsizetype occurrencesCount)
{
    if (row < 0 || row >= qsizetype(list.size()) || !list[size_t(row)])
        return {};
    const CrwlLinkInstance& occurrence = *list[size_t(row)];
    if (identifier == u"1")
        return displayPageTitle == 1 ? occurrence.getOnPageTitle() : occurrence.getOnPageUrl();
    if (relFlagColumns().contains(identifier))
        return relFlag(occurrence, identifier) ? QStringLiteral("YES") : QStringLiteral("NO");
    if (identifier == u"rel")
        return occurrence.getRel();
    if (identifier == u"targetattr")
        return occurrence.getTargetAttr();
    if (identifier == u"hreflang")
        return occurrence.getHreflang();
    if (identifier == u"lineNumber")
        return QString::number(occurrence.getLineNumber());
    return row < occurrencesCount ? occurrence.getLinkText() : QString();
}

QString LinkInspectorContent::sortKeyForColumn(const QString& identifier)
{
    if (identifier == u"1")
        return QStringLiteral("appearson");
    if (identifier == u"targetattr")
        return QStringLiteral("targetAttr");
    if (identifier == u"linktext" || identifier == u"rel" || identifier == u"hreflang" || relFlagColumns().contains(identifier))
        return identifier;
    return {};
}

void LinkInspectorContent::sortOnPage(OnPageList& list, const QString& key, bool ascending, qint64 displayPageTitle)
{
    std::function<QString(const CrwlLinkInstance&)> text;
    if (key == u"appearson")
        text = displayPageTitle == 1 ? std::function([](const CrwlLinkInstance& o) { return o.getOnPageTitle(); })
                                     : std::function([](const CrwlLinkInstance& o) { return o.getOnPageUrl(); });
    else if (key == u"linktext")
        text = [](const CrwlLinkInstance& o) { return o.getLinkText(); };
    else if (key == u"rel")
        text = [](const CrwlLinkInstance& o) { return o.getRel(); };
    else if (key == u"hreflang")
        text = [](const CrwlLinkInstance& o) { return o.getHreflang(); };
    std::function<bool(const CrwlLinkInstance&, const CrwlLinkInstance&)> less;
    if (text) {
        less = [text](const CrwlLinkInstance& a, const CrwlLinkInstance& b) {
            return text(a).compare(text(b), Qt::CaseInsensitive) < 0;
        };
    } else if (key == u"targetAttr") {
        less = [](const CrwlLinkInstance& a, const CrwlLinkInstance& b) { return a.getTargetAttr() < b.getTargetAttr(); };
    } else if (relFlagColumns().contains(key)) {
        less = [key](const CrwlLinkInstance& a, const CrwlLinkInstance& b) { return !relFlag(a, key) && relFlag(b, key); };
    } else {
        return;
    }
    std::stable_sort(list.begin(), list.end(), [&](const auto& a, const auto& b) {
        if (!a || !b)
            return bool(b) && !a;
        return ascending ? less(*a, *b) : less(*b, *a);
    });
}

LinkInspectorContent::Visibility LinkInspectorContent::visibility(const CrwlUrl& target)
{
    Visibility shown;
    if (!target.isHTML())
        return shown;
    if (!target.isInternal()) {
        shown.externalNotice = true;
        return shown;
    }
    shown.badTargetNotice = target.isInBadCollection();
    shown.pageParts = true;
    shown.targetTab = true;
    return shown;
}

QString LinkInspectorContent::reasonText(qint64 reason)
{
    switch (reason) {
    case 0:
        return QStringLiteral("http");
    case 1:
        return QStringLiteral("html meta refresh");
    case 2:
        return QStringLiteral("response header field");
    }
    return {};
}

QList<QStringList> LinkInspectorContent::redirectRows(const CrwlUrl& target)
{
    QList<QStringList> rows;
    if (target.getRedirectCount() <= 0)
        return rows;
    const QVariantList hops = target.redirectArray();
    for (qsizetype r = 0; r <= hops.size(); ++r) {
        const QString url = r == 0
            ? target.getAbsoluteStringDecoded()
            : PunycodeAdditions::decodedURLString(hops[r - 1].toMap().value(QStringLiteral("url")).toString());
        if (r < hops.size()) {
            const QVariantMap hop = hops[r].toMap();
            rows.append({ url, target.descriptionForStatusCode(hop.value(QStringLiteral("status")).toLongLong()),
                reasonText(hop.value(QStringLiteral("reason")).toLongLong()) });
        } else {
            rows.append({ url, target.descriptionForStatusCode(target.finalStatus()), QString() });
        }
    }
    return rows;
}

QString LinkInspectorContent::redirectTableText(const QList<QStringList>& rows)
{
    QStringList lines;
    for (const QStringList& row : rows)
        lines.append(row.join(QLatin1Char('\t')));
    return lines.join(QLatin1Char('\n'));
}

} // namespace crawlmere::views
