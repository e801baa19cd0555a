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

LinkInspectorContent::OnPageRows LinkInspectorContent::onPageRows(const OnPageList& list, qsizetype occurrencesCount)
{
    OnPageRows rows;
    rows.reserve(list.size());
    for (size_t index = 0; index < list.size(); ++index) {
        OnPageRow row;
        row.occurrence = list[index];
        if (const CrwlLinkInstance* occurrence = row.occurrence.get()) {
            row.pageUrl = occurrence->getOnPageUrl();
            row.pageTitle = occurrence->getOnPageTitle();
            if (qsizetype(index) < occurrencesCount)
                row.linkText = occurrence->getLinkText();
            row.rel = occurrence->getRel();
            row.targetAttr = occurrence->getTargetAttr();
            row.hreflang = occurrence->getHreflang();
            row.lineNumber = occurrence->getLineNumber();
            for (qsizetype flag = 0; flag < relFlagColumns().size(); ++flag)
                if (relFlag(*occurrence, relFlagColumns()[flag]))
                    row.relFlags |= quint8(1u << flag);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

QString LinkInspectorContent::onPageCell(const OnPageRow& row, const QString& identifier, bool displayPageTitle)
{
    if (identifier == u"1")
        return displayPageTitle ? row.pageTitle : row.pageUrl;
    if (const qsizetype flag = relFlagColumns().indexOf(identifier); flag >= 0)
        return row.relFlags & (1u << flag) ? QStringLiteral("YES") : QStringLiteral("NO");
    if (identifier == u"rel")
        return row.rel;
    if (identifier == u"targetattr")
        return row.targetAttr;
    if (identifier == u"hreflang")
        return row.hreflang;
    if (identifier == u"lineNumber")
        return QString::number(row.lineNumber);
    return row.linkText;
}

QString LinkInspectorContent::onPageCell(const OnPageList& list, qsizetype row, const QString& identifier,
    bool displayPageTitle, qsizetype occurrencesCount)
{
    if (row < 0 || row >= qsizetype(list.size()) || !list[size_t(row)])
        return {};
    const OnPageRows one = onPageRows({ list[size_t(row)] }, row < occurrencesCount ? 1 : 0);
    return onPageCell(one.front(), identifier, displayPageTitle);
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

void LinkInspectorContent::sortOnPage(OnPageRows& rows, const QString& key, bool ascending, bool displayPageTitle)
{
    const QString OnPageRow::*text = nullptr;
    if (key == u"appearson")
        text = displayPageTitle ? &OnPageRow::pageTitle : &OnPageRow::pageUrl;
    else if (key == u"linktext")
        text = &OnPageRow::linkText;
    else if (key == u"rel")
        text = &OnPageRow::rel;
    else if (key == u"hreflang")
        text = &OnPageRow::hreflang;
    std::function<bool(const OnPageRow&, const OnPageRow&)> less;
    if (text) {
        less = [text](const OnPageRow& a, const OnPageRow& b) {
            return (a.*text).compare(b.*text, Qt::CaseInsensitive) < 0;
        };
    } else if (key == u"targetAttr") {
        less = [](const OnPageRow& a, const OnPageRow& b) { return a.targetAttr < b.targetAttr; };
    } else if (const qsizetype flag = relFlagColumns().indexOf(key); flag >= 0) {
        const unsigned bit = 1u << flag;
        less = [bit](const OnPageRow& a, const OnPageRow& b) { return !(a.relFlags & bit) && (b.relFlags & bit); };
    } else {
        return;
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const OnPageRow& a, const OnPageRow& b) {
        if (!a.occurrence || !b.occurrence)
            return bool(b.occurrence) && !a.occurrence;
        return ascending ? less(a, b) : less(b, a);
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
