// The flat result tab's data source.
#include "views/CrwlFlatViewDataSource.h"

#include "engine/CrwlLabelColour.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/ParallelParts.h"
#include "platform/AtomicFile.h"
#include "platform/UserDefaults.h"
#include "views/LinkViewOpener.h"
#include "views/Pasteboard.h"
#include "views/ResultTreeView.h"
#include "views/detail/OccurrenceCell.h"
#include "views/detail/RankSort.h"

#include <QHash>

#include <utility>

using crawlmere::platform::logLine;

namespace crawlmere::views {

// What an occurrence row shows in a column besides its own attributes, decided once per column
// identifier.
enum class FlatViewCell : std::uint8_t {
    Status,
    LinkUrl,
    LinkUrlDecoded,
    Redir,
    OnPage,
    Distance,
    FileSize,
    Attribute,
    TargetField,
};

namespace {

using FlatCell = detail::LinkViewCell<FlatViewCell>;

FlatCell flatCellFor(const QString& identifier)
{
    static const QHash<QString, FlatViewCell> cells = {
        { QStringLiteral("status"), FlatViewCell::Status },
        { QStringLiteral("linkurl"), FlatViewCell::LinkUrl },
        // The target's own field, read without the name lookup of `getFieldByName`.
        { QStringLiteral("linkurldecoded"), FlatViewCell::LinkUrlDecoded },
        { QStringLiteral("redir"), FlatViewCell::Redir },
        { QStringLiteral("onpageurl"), FlatViewCell::OnPage },
        { QStringLiteral("onpageurldecoded"), FlatViewCell::OnPage },
        { QStringLiteral("distance"), FlatViewCell::Distance },
        { QStringLiteral("filesize"), FlatViewCell::FileSize },
    };
    return detail::linkViewCellFor(identifier, cells, FlatViewCell::TargetField);
}

QString onPageText(const CrwlLinkInstance& occurrence)
{
    if (platform::UserDefaults::standard().value(defaultsKey::displayPageTitle))
        return occurrence.getOnPageTitle();
    return occurrence.getOnPageUrl();
}

QString fileSizeText(const CrwlLinkInstance& occurrence)
{
    const auto target = occurrence.target();
    if (!target || !target->isGoodLink())
        return QStringLiteral("");
    const double size = static_cast<double>(occurrence.getTargetsize());
    return size >= 0.001 ? CrwlUrl::formatBytes(size) : QStringLiteral("");
}

QString cellText(FlatCell cell, const QString& identifier, const CrwlLinkInstance& occurrence)
{
    switch (cell.kind) {
    case FlatViewCell::Status:
        return occurrence.getStatusDescription();
    case FlatViewCell::LinkUrl:
        return occurrence.getAbsoluteStringDecoded();
    case FlatViewCell::LinkUrlDecoded: {
        const QString text = occurrence.getAbsoluteStringDecoded();
        return text.isNull() ? QStringLiteral("") : text;
    }
    case FlatViewCell::Redir:
        return occurrence.getRedirDecoded();
    case FlatViewCell::OnPage:
        return onPageText(occurrence);
    case FlatViewCell::Distance:
        return QString::number(occurrence.getDistance());
    case FlatViewCell::FileSize:
        return fileSizeText(occurrence);
    case FlatViewCell::Attribute:
        return detail::occurrenceAttributeCell(cell.attribute, occurrence);
    case FlatViewCell::TargetField:
        break;
    }
    // An identifier the view has no cell of its own for: the target's field ("" without one).
    const auto target = occurrence.target();
    return target ? target->getFieldByName(identifier) : QStringLiteral("");
}

} // namespace

CrwlFlatViewDataSource::CrwlFlatViewDataSource()
    : flatCells(&flatCellFor)
{
}

CrwlFlatViewDataSource::~CrwlFlatViewDataSource() = default;

const ViewColumns& CrwlFlatViewDataSource::columns()
{
    using C = ViewComparison;
    static const ViewColumns table({
        { QStringLiteral("linkurldecoded"), QStringLiteral("URL"), QStringLiteral("linkurl"), C::Default, true },
        { QStringLiteral("status"), QStringLiteral("Status"), QStringLiteral("status"), C::Default, true },
        { QStringLiteral("onpageurl"), QStringLiteral("Appears on"), QStringLiteral("onpageurl"), C::Default, true },
        { QStringLiteral("linktext"), QStringLiteral("Link text"), QStringLiteral("linktext"), C::Default, true },
        { QStringLiteral("redir"), QStringLiteral("Redirected to"), QStringLiteral("redir"), C::Default, true },
        { QStringLiteral("distance"), QStringLiteral("Depth"), QStringLiteral("distance"), C::Default, false },
        { QStringLiteral("timestamp"), QStringLiteral("Time stamp"), QString(), C::Default, false },
        { QStringLiteral("filesize"), QStringLiteral("Size"), QStringLiteral("targetsize"), C::Default, false },
        { QStringLiteral("nofollow"), QStringLiteral("Nofollow"), QStringLiteral("nofollow"), C::Default, false },
        { QStringLiteral("noreferrer"), QStringLiteral("Noreferrer"), QStringLiteral("noreferrer"), C::Default, false },
        { QStringLiteral("noopener"), QStringLiteral("Noopener"), QStringLiteral("noopener"), C::Default, false },
        { QStringLiteral("author"), QStringLiteral("Author"), QStringLiteral("author"), C::Default, false },
        { QStringLiteral("alternate"), QStringLiteral("Alternate"), QStringLiteral("alternate"), C::Default, false },
        { QStringLiteral("sponsored"), QStringLiteral("Sponsored"), QStringLiteral("sponsored"), C::Default, false },
        { QStringLiteral("ugc"), QStringLiteral("UGC"), QStringLiteral("ugc"), C::Default, false },
        { QStringLiteral("internal"), QStringLiteral("Internal"), QStringLiteral("targetInternal"), C::Default, false },
        { QStringLiteral("rel"), QStringLiteral("Rel"), QStringLiteral("rel"), C::Default, false },
        { QStringLiteral("hreflang"), QStringLiteral("Hreflang"), QStringLiteral("hreflang"), C::Default, false },
        { QStringLiteral("targetattr"), QStringLiteral("Target"), QStringLiteral("targetAttr"), C::Default, false },
        { QStringLiteral("redirectCount"), QStringLiteral("Redirects"), QStringLiteral("redirectCount"), C::Default,
            false },
        { QStringLiteral("lineNumber"), QStringLiteral("Line"), QStringLiteral("lineNumber"), C::Default, false },
    });
    return table;
}

void CrwlFlatViewDataSource::clear()
{
    qfDataSource::clear();
    badCollection.reset();
    if (tableView) {
        tableView->setSortDescriptors({});
        tableView->reloadData();
    }
}

void CrwlFlatViewDataSource::reloadData()
{
    if (tableView)
        tableView->reloadData();
}

bool CrwlFlatViewDataSource::shouldBeVisible(const CrwlLinkInstance& occurrence) const
{
    const auto target = occurrence.target();
    detail::LinkTextHits linkTextHits(filterState);
    return visibleInPass(
        occurrence, target.get(), target && target->shouldBeMemberOfBadCollection(), filterState.pass(), linkTextHits);
}

bool CrwlFlatViewDataSource::visibleInPass(const CrwlLinkInstance& occurrence, const CrwlUrl* target, bool bad,
    const detail::LinkViewFilter::Pass& pass, detail::LinkTextHits& linkTextHits)
{
    if (pass.badLinksOnly && !bad)
        return false;
    return (target && target->getVisible()) || linkTextHits(occurrence);
}

const QList<qfDataSource::Item>& CrwlFlatViewDataSource::getBadCollection()
{
    if (!badCollection) {
        QList<Item> bad;
        for (const Item& item : std::as_const(collection)) {
            const auto* occurrence = detail::asOccurrence(item.get());
            const auto target = occurrence ? occurrence->target() : nullptr;
            if (target && target->shouldBeMemberOfBadCollection())
                bad.append(item);
        }
        badCollection = std::move(bad);
    }
    return *badCollection;
}

void CrwlFlatViewDataSource::filter()
{
    const bool gatherBad = !badCollection;
    const detail::LinkViewFilter::Pass pass = filterState.pass();
    const qsizetype count = collection.size();
    const Item* items = collection.constData();
    // Each row's verdict is made in parts on several threads (a part writes the visibility of its
    // own occurrences only); then the rows are built in the same parts, each part filling its
    // own stretch of the lists, in the collection's order. The rows are built here as
    // `getSortedAndFilteredArray` would build them.
    enum Verdict : quint8 { kShown = 1, kBad = 2 };
    std::vector<quint8> verdicts(static_cast<size_t>(count));
    const int parts = platform::partsFor(count, kRowsPerPart);
    std::vector<qsizetype> shownFrom(size_t(parts) + 1), badFrom(size_t(parts) + 1);
    platform::runInParts(count, parts, [&](int part, qsizetype begin, qsizetype end) {
        detail::LinkTextHits linkTextHits(filterState);
        qsizetype shown = 0;
        qsizetype bad = 0;
        for (qsizetype i = begin; i < end; ++i) {
            const Item& item = items[i];
            quint8 verdict = 0;
            if (auto* occurrence = detail::asOccurrence(item.get())) {
                const auto target = occurrence->target();
                const bool isBad
                    = (pass.badLinksOnly || gatherBad) && target && target->shouldBeMemberOfBadCollection();
                const bool visible = visibleInPass(*occurrence, target.get(), isBad, pass, linkTextHits);
                occurrence->setVisible(visible);
                verdict = (visible ? kShown : 0) | (gatherBad && isBad ? kBad : 0);
            } else if (item && item->getVisible()) {
                verdict = kShown;
            }
            verdicts[size_t(i)] = verdict;
            shown += verdict & kShown;
            bad += (verdict & kBad) >> 1;
        }
        shownFrom[size_t(part) + 1] = shown;
        badFrom[size_t(part) + 1] = bad;
    });
    for (size_t part = 1; part <= size_t(parts); ++part) {
        shownFrom[part] += shownFrom[part - 1];
        badFrom[part] += badFrom[part - 1];
    }
    QList<Item> visible(shownFrom.back());
    QList<Item> bad(badFrom.back());
    Item* const visibleRows = visible.data();
    Item* const badRows = bad.data();
    platform::runInParts(count, parts, [&](int part, qsizetype begin, qsizetype end) {
        Item* nextVisible = visibleRows + shownFrom[size_t(part)];
        Item* nextBad = badRows + badFrom[size_t(part)];
        for (qsizetype i = begin; i < end; ++i) {
            const quint8 verdict = verdicts[size_t(i)];
            if (verdict & kShown)
                *nextVisible++ = items[i];
            if (verdict & kBad)
                *nextBad++ = items[i];
        }
    });
    if (gatherBad)
        badCollection = std::move(bad);
    sortedAndFilteredArray = std::move(visible);
}

QString CrwlFlatViewDataSource::getColumnValue(const QString& identifier, const CrwlLinkInstance& occurrence)
{
    return cellText(flatCellFor(identifier), identifier, occurrence);
}

QVariant CrwlFlatViewDataSource::tableViewObjectValue(TableView& table, const TableColumn& column, qsizetype row)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    const QList<Item>& rows = getSortedAndFilteredArray();
    if (row < 0 || row >= rows.size())
        return QStringLiteral("");
    return tableViewObjectValueForItem(table, column, rows.at(row));
}

QVariant CrwlFlatViewDataSource::tableViewObjectValueForItem(
    TableView& /*table*/, const TableColumn& column, const Item& item)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    const auto* occurrence = detail::asOccurrence(item.get());
    if (!occurrence)
        return QStringLiteral("");
    return cellText(flatCells(column.identifier), column.identifier, *occurrence);
}

void CrwlFlatViewDataSource::tableViewSortDescriptorsDidChange(TableView& table)
{
    const QList<SortDescriptor> descriptors = table.sortDescriptors();
    // Stable sorts from the last key to the first give the descriptors' lexicographic order.
    for (auto it = descriptors.crbegin(); it != descriptors.crend(); ++it) {
        const ViewColumn* column = columns().find(it->key);
        const QString key = columns().sortKeyFor(it->key);
        if (key.isEmpty())
            continue;
        detail::stableSortOccurrences(
            collection, key, column ? column->comparison : ViewComparison::Default, it->ascending);
    }
    invalidateSortedAndFilteredArray();
    table.reloadData();
}

int CrwlFlatViewDataSource::tableViewLabelColorForRow(TableView& table, qsizetype row)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    if (row < 0)
        return 0;
    return tableViewLabelColorForItem(table, getItemAtRowIndex(static_cast<quint64>(row)));
}

int CrwlFlatViewDataSource::tableViewLabelColorForItem(TableView& /*table*/, const Item& item)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    return detail::colourClassForRowObject(item.get());
}

std::optional<CrwlLabelColour> CrwlFlatViewDataSource::tableViewLabelColorForRow(
    ResultTreeView& view, const QModelIndex& row)
{
    return detail::labelForRowObject(view.itemAt(row).get());
}

bool CrwlFlatViewDataSource::writeFlatCSV(bool badLinks, const TableExportWriter::SliceSink& take)
{
    const QList<Item>& source = badLinks ? getBadCollection() : collection;
    if (source.isEmpty())
        return true;
    QList<TableColumn> visible;
    for (const TableColumn& column : tableView ? tableView->tableColumns() : columns().tableColumns()) {
        if (!column.hidden)
            visible.append(column);
    }
    const qint64 option = csvQuoteEscapeOption();
    // Whole rows are handed on in pieces of about this many characters.
    constexpr qsizetype kPieceCharacters = 1 << 16;
    QString piece = csvHeaderLine(visible);
    for (const Item& item : source) {
        const auto* occurrence = detail::asOccurrence(item.get());
        if (!occurrence)
            continue;
        for (qsizetype i = 0; i < visible.size(); ++i) {
            if (i > 0)
                piece += QLatin1Char(',');
            piece += QLatin1Char('"') + csvEscapedValue(getColumnValue(visible[i].identifier, *occurrence), option)
                + QLatin1Char('"');
        }
        piece += QLatin1Char('\n');
        if (piece.size() >= kPieceCharacters) {
            if (!take(piece))
                return false;
            piece.clear();
        }
    }
    return take(piece);
}

QString CrwlFlatViewDataSource::flatCSV(bool badLinks)
{
    QString csv;
    writeFlatCSV(badLinks, [&csv](QStringView rows) {
        csv += rows;
        return true;
    });
    return csv;
}

bool CrwlFlatViewDataSource::exportLinksAsFlatCSVAndSaveTo(const QString& path, bool badLinks)
{
    if ((badLinks ? getBadCollection() : collection).isEmpty())
        return true;
    QString error;
    const bool saved = platform::saveStreamAtomically(
        path,
        [&](const platform::PieceWriter& write) {
            return writeFlatCSV(badLinks, [&write](QStringView rows) { return write(rows.toUtf8()); });
        },
        &error);
    if (!saved)
        logLine(0, QStringLiteral("Error writing bad links: %1\nSuggest: %2\nReason: %3").arg(error, QString(), error));
    return saved;
}

std::shared_ptr<CrwlLinkInstance> CrwlFlatViewDataSource::firstOccurrence(const QList<Item>& selected)
{
    for (const Item& item : selected) {
        if (auto occurrence = std::dynamic_pointer_cast<CrwlLinkInstance>(item))
            return occurrence;
    }
    return nullptr;
}

void CrwlFlatViewDataSource::doubleClick(const QList<Item>& selected)
{
    const auto occurrence = firstOccurrence(selected);
    if (occurrence && opener) {
        if (auto target = occurrence->target())
            opener->inspect(target);
    }
}

void CrwlFlatViewDataSource::locateInFlatView(const QList<Item>& selected)
{
    if (auto occurrence = firstOccurrence(selected); occurrence && opener)
        opener->locate(occurrence);
}

void CrwlFlatViewDataSource::highlightInFlatView(const QList<Item>& selected)
{
    if (auto occurrence = firstOccurrence(selected); occurrence && opener)
        opener->highlight(occurrence);
}

void CrwlFlatViewDataSource::copyUrlFromFlatView(const QList<Item>& selected)
{
    if (const auto occurrence = firstOccurrence(selected))
        toClip(occurrence->getLinkUrl());
}

void CrwlFlatViewDataSource::copyAppearsOnFromFlatView(const QList<Item>& selected)
{
    if (const auto occurrence = firstOccurrence(selected))
        toClip(occurrence->getOnPageUrl());
}

void CrwlFlatViewDataSource::copyRedirFromFlatView(const QList<Item>& selected)
{
    if (const auto occurrence = firstOccurrence(selected))
        toClip(occurrence->getRedir());
}

void CrwlFlatViewDataSource::reportStatus() const
{
    logLine(0, QStringLiteral("flatViewDS:"));
    logLine(0, QStringLiteral("collection: %1").arg(collection.size()));
}

void CrwlFlatViewDataSource::toClip(const QString& text) { pasteboard().setString(text); }

qsizetype CrwlFlatViewDataSource::numberOfRowsInTableView(TableView& table)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    return qfDataSource::numberOfRowsInTableView(table);
}

} // namespace crawlmere::views
