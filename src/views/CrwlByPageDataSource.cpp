// The by-page result tab's data source.
#include "views/CrwlByPageDataSource.h"

#include "engine/CrwlLabelColour.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/ParallelParts.h"
#include "views/LinkViewOpener.h"
#include "views/ResultTreeView.h"
#include "views/detail/OccurrenceCell.h"
#include "views/detail/RankSort.h"

#include <QSet>

#include <algorithm>
#include <numeric>

using crawlmere::platform::logLine;

namespace crawlmere::views {

namespace {

// The sort keys that order the links under each page.
const QSet<QString>& linkSortKeys()
{
    static const QSet<QString> keys = { QStringLiteral("linkText"), QStringLiteral("status"),
        QStringLiteral("nofollow"), QStringLiteral("noreferrer"), QStringLiteral("noopener"), QStringLiteral("author"),
        QStringLiteral("alternate"), QStringLiteral("rel"), QStringLiteral("hreflang"), QStringLiteral("internal"),
        QStringLiteral("targetAttr"), QStringLiteral("redirectCount") };
    return keys;
}

QString orEmpty(QString text) { return text.isNull() ? QStringLiteral("") : text; }

} // namespace

// What a link row shows in a column besides the link's own attributes, decided once per column
// identifier.
enum class ByPageLinkCell : std::uint8_t {
    Attribute,
    TargetUrl,
    TargetStatus,
    TargetRedirect,
    TargetField,
};

namespace {

using LinkCell = detail::LinkViewCell<ByPageLinkCell>;

LinkCell linkCellFor(const QString& identifier)
{
    // The target's own fields, read without the name lookup of `getFieldByName`.
    static const QHash<QString, ByPageLinkCell> cells = {
        { QStringLiteral("linkurldecoded"), ByPageLinkCell::TargetUrl },
        { QStringLiteral("status"), ByPageLinkCell::TargetStatus },
        { QStringLiteral("redir"), ByPageLinkCell::TargetRedirect },
    };
    return detail::linkViewCellFor(identifier, cells, ByPageLinkCell::TargetField);
}

QString linkCell(LinkCell cell, const QString& identifier, const CrwlLinkInstance& link)
{
    if (cell.kind == ByPageLinkCell::Attribute)
        return detail::occurrenceAttributeCell(cell.attribute, link, detail::InternalText::AsIs);
    const auto target = link.target();
    if (!target)
        return QStringLiteral("");
    switch (cell.kind) {
    case ByPageLinkCell::TargetUrl:
        return orEmpty(target->getAbsoluteStringDecoded());
    case ByPageLinkCell::TargetStatus:
        return orEmpty(target->getStatusDescription());
    case ByPageLinkCell::TargetRedirect:
        return orEmpty(target->getRedirDecoded());
    case ByPageLinkCell::Attribute:
    case ByPageLinkCell::TargetField:
        break;
    }
    return target->getFieldByName(identifier);
}

QString pageCell(const QString& identifier, const CrwlUrl& page)
{
    if (identifier == QLatin1String("linkurl") || identifier == QLatin1String("linkurldecoded"))
        return orEmpty(page.getAbsoluteStringDecoded());
    return QStringLiteral("");
}

} // namespace

CrwlByPageDataSource::CrwlByPageDataSource()
    : linkCells(&linkCellFor)
{
}

CrwlByPageDataSource::~CrwlByPageDataSource() = default;

const ViewColumns& CrwlByPageDataSource::columns()
{
    using C = ViewComparison;
    static const ViewColumns table({
        { QStringLiteral("linkurldecoded"), QStringLiteral("URL"), QStringLiteral("linkurl"), C::Default, true },
        { QStringLiteral("status"), QStringLiteral("Status"), QStringLiteral("status"), C::Default, true },
        { QStringLiteral("linkText"), QStringLiteral("Link text"), QStringLiteral("linkText"), C::CaseInsensitive,
            true },
        { QStringLiteral("redir"), QStringLiteral("Redirected to"), QString(), C::Default, true },
        { QStringLiteral("nofollow"), QStringLiteral("Nofollow"), QStringLiteral("nofollow"), C::Default, false },
        { QStringLiteral("noreferrer"), QStringLiteral("Noreferrer"), QStringLiteral("noreferrer"), C::Default, false },
        { QStringLiteral("noopener"), QStringLiteral("Noopener"), QStringLiteral("noopener"), C::Default, false },
        { QStringLiteral("author"), QStringLiteral("Author"), QStringLiteral("author"), C::Default, false },
        { QStringLiteral("alternate"), QStringLiteral("Alternate"), QStringLiteral("alternate"), C::Default, false },
        { QStringLiteral("rel"), QStringLiteral("Rel"), QStringLiteral("rel"), C::CaseInsensitive, false },
        { QStringLiteral("hreflang"), QStringLiteral("Hreflang"), QStringLiteral("hreflang"), C::CaseInsensitive,
            false },
        { QStringLiteral("internal"), QStringLiteral("Internal"), QStringLiteral("internal"), C::Default, false },
        { QStringLiteral("targetattr"), QStringLiteral("Target"), QStringLiteral("targetAttr"), C::Default, false },
        { QStringLiteral("redirectCount"), QStringLiteral("Redirects"), QStringLiteral("redirectCount"), C::Default,
            false },
    });
    return table;
}

void CrwlByPageDataSource::clear()
{
    qfDataSource::clear();
    internalPageArray.reset();
    pagesNeedingAttention.clear();
    visibleLinks.reset();
    rowOfPage.clear();
    lastPage = nullptr;
    lastPageRow = nullptr;
    if (byPageOutlineView) {
        byPageOutlineView->setSortDescriptors({});
        byPageOutlineView->reloadData();
    }
}

void CrwlByPageDataSource::setInternalPageArray(CrwlUrlList pages) { internalPageArray = std::move(pages); }

bool CrwlByPageDataSource::shouldBeVisible(const CrwlLinkInstance& link) const
{
    return visibleInPass(link, filterState.pass());
}

bool CrwlByPageDataSource::visibleInPass(const CrwlLinkInstance& link, const detail::LinkViewFilter::Pass& pass) const
{
    if (pass.showsEverything)
        return true;
    const auto target = link.target();
    if (pass.badLinksOnly && !(target && target->shouldBeMemberOfBadCollection()))
        return false;
    return target && target->getVisible();
}

qsizetype CrwlByPageDataSource::countVisibleItemsforThisPage(const CrwlUrl& page) const
{
    const detail::LinkViewFilter::Pass pass = filterState.pass();
    qsizetype count = 0;
    for (const auto& link : page.getOutboundInstances()) {
        if (link && visibleInPass(*link, pass))
            ++count;
    }
    return count;
}

bool CrwlByPageDataSource::pageHasAtLeastOneVisibleItem(const CrwlUrl& page) const
{
    const bool badOnly = detail::LinkViewFilter::badLinksOnly();
    for (const auto& link : page.getOutboundInstances()) {
        const auto target = link ? link->target() : nullptr;
        if (target && target->getVisible() && (!badOnly || target->isInBadCollection()))
            return true;
    }
    return false;
}

void CrwlByPageDataSource::gatherVisibleLinks(const detail::LinkViewFilter::Pass& pass)
{
    const CrwlUrlList& pages = *internalPageArray;
    // The pages are read in parts on several threads, each part gathering its pages' rows and
    // links by itself; the parts are then joined in the pages' order.
    struct Found {
        std::vector<Item> links;
        std::vector<PageRow> rows;
    };
    const int parts = platform::partsFor(qsizetype(pages.size()), kPagesPerPart);
    std::vector<Found> found(static_cast<size_t>(parts));
    platform::runInParts(qsizetype(pages.size()), parts, [&](int part, qsizetype begin, qsizetype end) {
        std::vector<Item>& links = found[size_t(part)].links;
        std::vector<PageRow>& rows = found[size_t(part)].rows;
        for (qsizetype p = begin; p < end; ++p) {
            const auto& page = pages[size_t(p)];
            if (!page)
                continue;
            const size_t first = links.size();
            // Listed once a visible link has a target in the bad collection (any link without
            // bad-links-only); each target is locked once and its flags read once.
            bool listed = false;
            for (const auto& link : page->getOutboundInstances()) {
                if (!link)
                    continue;
                if (pass.showsEverything) {
                    links.push_back(link);
                    listed = true;
                    continue;
                }
                const auto target = link->target();
                if (!target || !target->getVisible())
                    continue;
                if (pass.badLinksOnly && !target->shouldBeMemberOfBadCollection())
                    continue;
                links.push_back(link);
                listed = listed || !pass.badLinksOnly || target->isInBadCollection();
            }
            if (listed)
                rows.push_back({ page, qsizetype(first), qsizetype(links.size() - first) });
            else
                links.resize(first);
        }
    });

    std::vector<qsizetype> linksFrom(found.size() + 1, 0);
    for (size_t part = 0; part < found.size(); ++part)
        linksFrom[part + 1] = linksFrom[part] + qsizetype(found[part].links.size());
    // A view may still read the old array in place: a new one is made while another holder remains.
    if (!visibleLinks || visibleLinks.use_count() > 1)
        visibleLinks = std::make_shared<LinkArray>();
    LinkArray& links = *visibleLinks;
    links.clear();
    links.resize(size_t(linksFrom.back()));
    Item* const joined = links.data();
    platform::runInParts(qsizetype(found.size()), int(found.size()), [&](int part, qsizetype, qsizetype) {
        std::vector<Item>& mine = found[size_t(part)].links;
        std::move(mine.begin(), mine.end(), joined + linksFrom[size_t(part)]);
    });
    for (size_t part = 0; part < found.size(); ++part) {
        for (PageRow& row : found[part].rows) {
            row.first += linksFrom[part];
            pagesNeedingAttention.push_back(std::move(row));
        }
    }
}

void CrwlByPageDataSource::rebuild(const QList<SortDescriptor>& descriptors)
{
    pagesNeedingAttention.clear();
    rowOfPage.clear();
    lastPage = nullptr;
    lastPageRow = nullptr;
    if (!internalPageArray) {
        visibleLinks.reset();
        return;
    }
    gatherVisibleLinks(filterState.pass());

    // Pages by their URL when a descriptor names it; links by the first link key.
    const SortDescriptor* pageSort = nullptr;
    const SortDescriptor* linkSort = nullptr;
    QString linkKey;
    for (const SortDescriptor& descriptor : descriptors) {
        const QString key = columns().sortKeyFor(descriptor.key);
        if (!pageSort && key == QLatin1String("linkurl"))
            pageSort = &descriptor;
        if (!linkSort && linkSortKeys().contains(key)) {
            linkSort = &descriptor;
            linkKey = key;
        }
    }
    if (pageSort) {
        const std::vector<qsizetype> order = detail::stableSortOrder(
            qsizetype(pagesNeedingAttention.size()),
            [&](qsizetype i) { return QVariant(pagesNeedingAttention[size_t(i)].page->getLinkurl()); },
            ViewComparison::Default, pageSort->ascending);
        std::vector<PageRow> sorted;
        sorted.reserve(order.size());
        for (qsizetype i : order)
            sorted.push_back(std::move(pagesNeedingAttention[size_t(i)]));
        pagesNeedingAttention = std::move(sorted);
    }
    if (linkSort) {
        const ViewColumn* column = columns().find(linkSort->key);
        const ViewComparison comparison
            = linkKey == QLatin1String("internal") || !column ? ViewComparison::Default : column->comparison;
        const QString getter = linkKey == QLatin1String("internal") ? QStringLiteral("targetInternal") : linkKey;
        sortLinksOfPages(getter, comparison, linkSort->ascending);
    }
    if (platform::verbosity() >= 2)
        logLine(2, QStringLiteral("by page: %1 pages").arg(pagesNeedingAttention.size()));
    rowOfPage.reserve(qsizetype(pagesNeedingAttention.size()));
    for (size_t i = 0; i < pagesNeedingAttention.size(); ++i)
        rowOfPage.insert(pagesNeedingAttention[i].page.get(), qsizetype(i));
}

void CrwlByPageDataSource::sortLinksOfPages(const QString& getter, ViewComparison comparison, bool ascending)
{
    // Every listed link's value is read and ranked once for all pages; each page's links are
    // then ordered by those numbers, stably, in place (the array is this object's alone here).
    LinkArray& links = *visibleLinks;
    std::vector<const CrwlDataObject*> rows;
    rows.reserve(links.size());
    for (const Item& link : links)
        rows.push_back(link.get());
    const std::vector<double> keys = detail::occurrenceSortKeys(rows, getter, comparison);
    std::vector<qsizetype> order;
    std::vector<Item> sorted;
    for (const PageRow& row : pagesNeedingAttention) {
        if (row.count < 2)
            continue;
        order.resize(size_t(row.count));
        std::iota(order.begin(), order.end(), qsizetype(0));
        const double* key = keys.data() + row.first;
        std::stable_sort(order.begin(), order.end(),
            [&](qsizetype a, qsizetype b) { return ascending ? key[a] < key[b] : key[b] < key[a]; });
        Item* first = links.data() + row.first;
        sorted.clear();
        for (qsizetype i : order)
            sorted.push_back(std::move(first[i]));
        std::move(sorted.begin(), sorted.end(), first);
    }
}

qsizetype CrwlByPageDataSource::countPagesWithVisibleItems()
{
    rebuild(byPageOutlineView ? byPageOutlineView->sortDescriptors() : QList<SortDescriptor>());
    return qsizetype(pagesNeedingAttention.size());
}

std::shared_ptr<CrwlUrl> CrwlByPageDataSource::getNthPageWithVisibleItems(qsizetype index) const
{
    if (index < 0 || index >= qsizetype(pagesNeedingAttention.size()))
        return nullptr;
    return pagesNeedingAttention[size_t(index)].page;
}

const CrwlByPageDataSource::PageRow* CrwlByPageDataSource::rowOf(const CrwlDataObject* page) const
{
    if (page && page == lastPage)
        return lastPageRow;
    const auto it = rowOfPage.constFind(page);
    lastPage = page;
    lastPageRow = it == rowOfPage.cend() ? nullptr : &pagesNeedingAttention[size_t(it.value())];
    return lastPageRow;
}

QList<qfDataSource::Item> CrwlByPageDataSource::visibleLinksOfPage(const CrwlUrl& page) const
{
    const PageRow* row = rowOf(&page);
    return row ? QList<Item>(linksOf(*row), linksOf(*row) + row->count) : QList<Item>();
}

void CrwlByPageDataSource::filter()
{
    logLine(2, QStringLiteral("CrwlByPageDataSource filter:"));
    reloadData();
}

void CrwlByPageDataSource::reloadData()
{
    countPagesWithVisibleItems();
    if (byPageOutlineView)
        byPageOutlineView->reloadData();
}

void CrwlByPageDataSource::outlineViewDidClickTableColumn(TableView& view, const TableColumn& /*column*/)
{
    rebuild(view.sortDescriptors());
    view.reloadData();
}

qsizetype CrwlByPageDataSource::outlineViewNumberOfChildrenOfItem(TableView& /*view*/, const Item& item)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    if (!item)
        return qsizetype(pagesNeedingAttention.size());
    const PageRow* row = rowOf(item.get());
    return row ? row->count : 0;
}

qfDataSource::Item CrwlByPageDataSource::outlineViewChildOfItem(TableView& /*view*/, qsizetype index, const Item& item)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    if (index < 0)
        return nullptr;
    if (!item)
        return index < qsizetype(pagesNeedingAttention.size()) ? pagesNeedingAttention[size_t(index)].page : nullptr;
    const PageRow* row = rowOf(item.get());
    return row && index < row->count ? linksOf(*row)[index] : nullptr;
}

std::optional<OutlineDataSource::ChildRows> CrwlByPageDataSource::outlineViewChildRowsOfItem(
    TableView& /*view*/, const Item& item)
{
    const PageRow* row = item ? rowOf(item.get()) : nullptr;
    if (!row)
        return std::nullopt;
    return ChildRows { linksOf(*row), row->count, visibleLinks };
}

bool CrwlByPageDataSource::outlineViewIsItemExpandable(TableView& /*view*/, const Item& item)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    return item && rowOf(item.get()) != nullptr;
}

QString CrwlByPageDataSource::cellValue(const QString& identifier, const CrwlDataObject* item)
{
    if (const auto* link = detail::asOccurrence(item))
        return linkCell(linkCellFor(identifier), identifier, *link);
    if (const auto* page = dynamic_cast<const CrwlUrl*>(item))
        return pageCell(identifier, *page);
    logLine(1, QStringLiteral("by page: no item for column %1").arg(identifier));
    return QStringLiteral("");
}

QVariant CrwlByPageDataSource::outlineViewObjectValue(TableView& /*view*/, const TableColumn& column, const Item& item)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    const QString& identifier = column.identifier;
    if (const auto* link = detail::asOccurrence(item.get()))
        return linkCell(linkCells(identifier), identifier, *link);
    return cellValue(identifier, item.get());
}

std::optional<CrwlLabelColour> CrwlByPageDataSource::labelForItem(const Item& item)
{
    return detail::labelForRowObject(item.get());
}

std::optional<CrwlLabelColour> CrwlByPageDataSource::tableViewLabelColorForRow(
    ResultTreeView& view, const QModelIndex& row)
{
    return labelForItem(view.itemAt(row));
}

QList<qfDataSource::Item> CrwlByPageDataSource::getSelectedFromByPageView(const QList<Item>& selected) const
{
    QList<Item> items;
    for (const Item& item : selected) {
        if (dynamic_cast<const CrwlUrl*>(item.get()) || detail::asOccurrence(item.get()))
            items.append(item);
    }
    return items;
}

void CrwlByPageDataSource::doubleClickInOutlineView(const QList<Item>& selected)
{
    const QList<Item> items = getSelectedFromByPageView(selected);
    if (items.isEmpty() || !opener)
        return;
    if (auto page = std::dynamic_pointer_cast<CrwlUrl>(items.first()))
        opener->inspectPage(page);
    else if (auto link = std::dynamic_pointer_cast<CrwlLinkInstance>(items.first())) {
        if (auto target = link->target())
            opener->inspect(target);
    }
}

void CrwlByPageDataSource::locateInOutlineView(const QList<Item>& selected)
{
    const QList<Item> items = getSelectedFromByPageView(selected);
    if (!items.isEmpty() && opener)
        opener->locate(items.first());
}

void CrwlByPageDataSource::highlightLinkInOutlineView(const QList<Item>& selected)
{
    const QList<Item> items = getSelectedFromByPageView(selected);
    if (items.isEmpty()) {
        logLine(1, QStringLiteral("unable to find instance"));
        return;
    }
    auto link = std::dynamic_pointer_cast<CrwlLinkInstance>(items.first());
    if (!link) {
        logLine(1, QStringLiteral("highlight: a page row has no link to highlight"));
        return;
    }
    if (opener)
        opener->highlight(link);
}

QString CrwlByPageDataSource::visitPageInOutlineView(const QList<Item>& selected) const
{
    const QList<Item> items = getSelectedFromByPageView(selected);
    if (items.isEmpty())
        return {};
    if (const auto* page = dynamic_cast<const CrwlUrl*>(items.first().get())) {
        logLine(2, QStringLiteral("visit: CrwlUrl"));
        return page->absoluteString();
    }
    logLine(2, QStringLiteral("visit: CrwlLinkInstance"));
    return static_cast<const CrwlLinkInstance*>(items.first().get())->getOnPageUrl();
}

void CrwlByPageDataSource::expandAllButton()
{
    if (outlineExpander)
        outlineExpander(/*expand=*/true);
}

void CrwlByPageDataSource::collapseAllButton()
{
    if (outlineExpander)
        outlineExpander(/*expand=*/false);
}

} // namespace crawlmere::views
