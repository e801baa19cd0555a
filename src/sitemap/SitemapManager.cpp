// The sitemap collection with its exclusions, the sitemap rules, and the values and edits of
// the sitemap and excluded-pages tables.
#include "sitemap/SitemapManager.h"

#include "platform/StoredValue.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/SitemapPriority.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "sitemap/SitemapXmlWriter.h"

namespace crawlmere::sitemap {

using platform::logLine;

namespace {

const QString kPriority = QStringLiteral("priority");
const QString kLastModified = QStringLiteral("lastmodified");
const QString kChangeFrequency = QStringLiteral("changefrequency");

bool isColumn(const TableColumn& column, const QString& lowerName)
{
    return column.identifier.compare(lowerName, Qt::CaseInsensitive) == 0;
}

/// The table's sort descriptors with the priority column sorting by click distance.
QList<SortDescriptor> sitemapSortDescriptors(const TableView& table)
{
    QList<SortDescriptor> descriptors = table.sortDescriptors();
    for (SortDescriptor& descriptor : descriptors) {
        if (descriptor.key.compare(kPriority, Qt::CaseInsensitive) == 0)
            descriptor.key = QStringLiteral("distancefromhome");
    }
    return descriptors;
}

} // namespace

SitemapManager::SitemapManager(platform::UserDefaults& defaults)
    : m_defaults(defaults)
    , m_changeFrequency(changeFrequencyItems().constFirst())
    , m_priorityTitle(priorityItems().constFirst().title)
{
    m_includeLastModified = writesLastModified();
    retainArray.reserve(11);
}

SitemapManager::~SitemapManager() = default;

void SitemapManager::setTables(TableView* sitemapTable, TableView* excludedTable)
{
    m_sitemapTable = sitemapTable;
    m_excludedTable = excludedTable;
}

void SitemapManager::setCollection(const CrwlUrlList& pages)
{
    m_sitemapCollection.reset();
    QList<Item> items;
    items.reserve(qsizetype(pages.size()));
    for (const auto& page : pages)
        items.append(page);
    qfDataSource::setCollection(std::move(items));
    m_sortedAndVisibleArray.reset();
    updateChangeFrequencies();
}

void SitemapManager::add(Item item)
{
    m_sitemapCollection.reset();
    qfDataSource::add(std::move(item));
    m_sortedAndVisibleArray.reset();
    m_excludedBecauseCanonical.clear();
    m_excludedBecauseNoIndex.clear();
}

void SitemapManager::addPDF(const std::shared_ptr<CrwlUrl>& page)
{
    m_sitemapCollection.reset();
    m_pdfCollection.push_back(page);
}

void SitemapManager::clear()
{
    qfDataSource::clear();
    m_sortedAndVisibleArray.reset();
    m_imageCount = 0;
    m_pdfCollection.clear();
    m_sitemapCollection.reset();
    m_excludedBecauseCanonical.clear();
    m_excludedBecauseNoIndex.clear();
    m_infoText.clear();
    m_highlightTag = 0;
    if (m_observer.infoText)
        m_observer.infoText(m_infoText);
    if (m_sitemapTable)
        m_sitemapTable->reloadData();
}

QList<SitemapPopUpItem> SitemapManager::changeFrequencyItems()
{
    // Tag 0 writes no change frequency into the XML.
    return { { QStringLiteral("None"), 0 }, { QStringLiteral("always"), 1 }, { QStringLiteral("hourly"), 2 },
        { QStringLiteral("daily"), 3 }, { QStringLiteral("weekly"), 4 }, { QStringLiteral("monthly"), 5 },
        { QStringLiteral("yearly"), 6 }, { QStringLiteral("never"), 7 } };
}

QList<SitemapPopUpItem> SitemapManager::priorityItems()
{
    return { { QStringLiteral("Automatic"), 1 }, { kPriorityNone, 0 } };
}

void SitemapManager::selectChangeFrequency(qsizetype index)
{
    const auto items = changeFrequencyItems();
    if (index < 0 || index >= items.size())
        return;
    m_changeFrequency = items.at(index);
    updateChangeFrequencies();
}

void SitemapManager::selectPriority(qsizetype index)
{
    const auto items = priorityItems();
    if (index < 0 || index >= items.size())
        return;
    m_priorityTitle = items.at(index).title;
    alterTableColumns();
}

void SitemapManager::setIncludeLastModified(bool on)
{
    m_includeLastModified = on;
    alterTableColumns();
}

bool SitemapManager::writesLastModified() const
{
    return m_defaults.value(defaultsKey::includeLastModInXML)
        || m_defaults.value(defaultsKey::includeLastmod);
}

void SitemapManager::setWritesLastModified(bool on)
{
    m_defaults.setBool(on, defaultsKey::includeLastModInXML);
    if (!on && m_defaults.value(defaultsKey::includeLastmod))
        m_defaults.setBool(false, defaultsKey::includeLastmod);
    setIncludeLastModified(on);
}

bool SitemapManager::includesPdfs() const { return m_defaults.value(defaultsKey::includePdfsInSitemap); }

void SitemapManager::setIncludesPdfs(bool on)
{
    m_defaults.setBool(on, defaultsKey::includePdfsInSitemap);
    handlePdfSwitch();
}

void SitemapManager::handlePdfSwitch()
{
    m_sitemapCollection.reset();
    if (m_sitemapTable)
        m_sitemapTable->reloadData();
}

void SitemapManager::alterTableColumns()
{
    if (m_observer.columnsChanged)
        m_observer.columnsChanged();
    if (m_sitemapTable)
        m_sitemapTable->reloadData();
}

const CrwlUrlList& SitemapManager::getSitemapCollection()
{
    if (!m_sitemapCollection) {
        m_excludedBecauseCanonical.clear();
        m_excludedBecauseNoIndex.clear();
        const bool observeCanonical = m_defaults.value(defaultsKey::sitemapObservesCanonicalElsewhere);
        const bool observeNoIndex = m_defaults.value(defaultsKey::sitemapObservesRobotsMetaNoindex);
        const bool pdfs = includesPdfs();
        QList<Item> included;
        for (const Item& item : std::as_const(collection)) {
            const auto page = std::static_pointer_cast<CrwlUrl>(item);
            if (!page || !page->isGoodLink() || (!pdfs && page->isPDF()))
                continue;
            const bool canonicalElsewhere = observeCanonical && !page->canonicalMatchesUrl();
            const bool noIndex = observeNoIndex && page->headContainsNoIndex();
            if (canonicalElsewhere)
                m_excludedBecauseCanonical.push_back(page);
            if (noIndex)
                m_excludedBecauseNoIndex.push_back(page);
            if (!canonicalElsewhere && !noIndex)
                included.append(item);
        }
        if (m_sitemapTable)
            sortItems(included, sitemapSortDescriptors(*m_sitemapTable));
        CrwlUrlList pages;
        pages.reserve(size_t(included.size()));
        for (const Item& item : std::as_const(included))
            pages.push_back(std::static_pointer_cast<CrwlUrl>(item));
        m_sitemapCollection = std::move(pages);

        QStringList parts;
        if (!m_excludedBecauseCanonical.empty())
            parts << QStringLiteral("%1 %2").arg(
                QString::number(m_excludedBecauseCanonical.size()), QStringLiteral("excluded due to canonical"));
        if (!m_excludedBecauseNoIndex.empty())
            parts << QStringLiteral("%1 %2").arg(
                QString::number(m_excludedBecauseNoIndex.size()), QStringLiteral("excluded due to robots noindex"));
        m_infoText = parts.join(QStringLiteral(", "));
        if (m_observer.infoText)
            m_observer.infoText(m_infoText);
    }
    if (m_observer.pagesIncluded)
        m_observer.pagesIncluded(qsizetype(m_sitemapCollection->size()));
    return *m_sitemapCollection;
}

CrwlUrlList SitemapManager::getSitemapCollectionIncludingCanonicals() const
{
    CrwlUrlList pages;
    for (const Item& item : collection) {
        const auto page = std::static_pointer_cast<CrwlUrl>(item);
        if (page && !page->headContainsNoIndex())
            pages.push_back(page);
    }
    return pages;
}

void SitemapManager::clearSitemapCollection()
{
    if (!m_sitemapCollection)
        return;
    m_sitemapCollection.reset();
    m_excludedBecauseCanonical.clear();
    m_excludedBecauseNoIndex.clear();
}

qsizetype SitemapManager::getExcludedFromSitemapBecauseCanonical()
{
    getSitemapCollection();
    return qsizetype(m_excludedBecauseCanonical.size());
}

qsizetype SitemapManager::getExcludedFromSitemapBecauseNoIndex()
{
    getSitemapCollection();
    return qsizetype(m_excludedBecauseNoIndex.size());
}

double SitemapManager::getSitemapWithoutTitle() const
{
    qsizetype count = 0;
    for (const Item& item : collection)
        count += item && std::static_pointer_cast<CrwlUrl>(item)->getLinkpagetitle().isEmpty() ? 1 : 0;
    return double(count);
}

double SitemapManager::getSitemapWithoutDescription() const
{
    qsizetype count = 0;
    for (const Item& item : collection)
        count += item && std::static_pointer_cast<CrwlUrl>(item)->getMetadescription().isEmpty() ? 1 : 0;
    return double(count);
}

bool SitemapManager::isInSEOManagersCollection(const std::shared_ptr<CrwlUrl>& page) const
{
    return collection.contains(std::static_pointer_cast<CrwlDataObject>(page));
}

std::optional<QVariantMap> SitemapManager::ruleThatApplies(const QString& url) const
{
    std::optional<QVariantMap> found;
    const QVariantList rules = m_crawlSettings.value(QStringLiteral("sitemapRules")).toList();
    for (const QVariant& value : rules) {
        const QVariantMap rule = value.toMap();
        const QString contains = rule.value(QStringLiteral("contains")).toString();
        if (contains.isEmpty())
            continue;
        const bool exact = crawlmere::platform::boolValue(rule.value(QStringLiteral("match")));
        if (exact ? url == contains : url.contains(contains, Qt::CaseInsensitive))
            found = rule;
    }
    return found;
}

bool SitemapManager::shouldLogModifiedDate() const
{
    return m_defaults.value(defaultsKey::includeLastModInXML);
}

qfDataSource::Item SitemapManager::getItemAtRowIndex(quint64 row)
{
    if (!m_sortedAndVisibleArray) {
        QList<Item> visible;
        for (const Item& item : std::as_const(collection)) {
            if (item && item->getVisible2())
                visible.append(item);
        }
        m_sortedAndVisibleArray = std::move(visible);
    }
    return row < quint64(m_sortedAndVisibleArray->size()) ? m_sortedAndVisibleArray->at(qsizetype(row)) : Item();
}

QString SitemapManager::priorityText(CrwlUrl& page)
{
    if (m_priorityTitle == kPriorityNone)
        return {};
    const auto rule = ruleThatApplies(page.finalURLString());
    const QString priority = SitemapXmlWriter::priorityOf(rule, page.getDistanceFromHome());
    if (rule)
        page.setPriority(priority.toDouble());
    return priority;
}

QList<TableColumn> SitemapManager::sitemapColumns() const
{
    QList<TableColumn> columns { { QStringLiteral("actualurl"), QStringLiteral("URL") },
        { QStringLiteral("linkpagetitle"), QStringLiteral("Title") },
        { kChangeFrequency, QStringLiteral("Change frequency") } };
    if (m_priorityTitle != kPriorityNone)
        columns.append({ kPriority, QStringLiteral("Priority") });
    if (m_includeLastModified)
        columns.append({ kLastModified, QStringLiteral("Last modified") });
    return columns;
}

QList<TableColumn> SitemapManager::excludedColumns()
{
    return { { QStringLiteral("url"), QStringLiteral("URL") },
        { QStringLiteral("canonical"), QStringLiteral("Canonical") },
        { QStringLiteral("reason"), QStringLiteral("Reason") } };
}

qsizetype SitemapManager::numberOfRowsInTableView(TableView& table)
{
    if (isExcludedTable(table)) {
        getSitemapCollection();
        return qsizetype(m_excludedBecauseCanonical.size() + m_excludedBecauseNoIndex.size());
    }
    return getSitemapCollectionCount();
}

CrwlUrl* SitemapManager::pageAt(qsizetype row)
{
    const auto& pages = getSitemapCollection();
    return row >= 0 && row < qsizetype(pages.size()) ? pages[size_t(row)].get() : nullptr;
}

std::shared_ptr<CrwlUrl> SitemapManager::excludedPageAtRow(qsizetype row)
{
    getSitemapCollection();
    const auto canonicalRows = qsizetype(m_excludedBecauseCanonical.size());
    if (row < 0)
        return {};
    if (row < canonicalRows)
        return m_excludedBecauseCanonical[size_t(row)];
    row -= canonicalRows;
    return row < qsizetype(m_excludedBecauseNoIndex.size()) ? m_excludedBecauseNoIndex[size_t(row)] : nullptr;
}

QVariant SitemapManager::tableViewObjectValue(TableView& table, const TableColumn& column, qsizetype row)
{
    if (isExcludedTable(table)) {
        const auto page = excludedPageAtRow(row);
        if (!page)
            return {};
        if (column.identifier == u"url")
            return CrwlUrl::forceTrimHash(page->finalURLString());
        if (column.identifier == u"canonical")
            return page->getCanonical();
        if (column.identifier == u"reason")
            return row < qsizetype(m_excludedBecauseCanonical.size())
                ? QStringLiteral("canonical url points to a different page")
                : QStringLiteral("page is marked robots noindex");
        return {};
    }
    CrwlUrl* page = pageAt(row);
    if (!page)
        return {};
    if (isColumn(column, kPriority))
        return priorityText(*page);
    if (isColumn(column, QStringLiteral("actualurl")))
        return CrwlUrl::forceTrimHash(page->getFieldByName(QStringLiteral("actualurl")));
    return page->getFieldByName(column.identifier);
}

bool SitemapManager::isColumnEditable(TableView& table, const TableColumn& column) const
{
    return !isExcludedTable(table) && (isColumn(column, kChangeFrequency) || isColumn(column, kPriority));
}

void SitemapManager::tableViewSetObjectValue(
    TableView& table, const TableColumn& column, qsizetype row, const QVariant& value)
{
    if (!isColumnEditable(table, column))
        return;
    CrwlUrl* page = pageAt(row);
    if (!page)
        return;
    QString text = value.toString();
    const QString url = page->finalURLString();
    QVariantMap rule;
    if (isColumn(column, kChangeFrequency)) {
        page->setChangeFrequency(text);
        rule = ruleThatApplies(url).value_or(QVariantMap { { QStringLiteral("contains"), url },
            { kPriority, SitemapXmlWriter::depthPriority(page->getDistanceFromHome()) },
            { QStringLiteral("update"), text }, { QStringLiteral("match"), true } });
        rule.insert(QStringLiteral("update"), text);
    } else {
        // A priority outside 0.0-1.0 is refused: the cell keeps the one in force.
        const auto priority = engine::sitemapPriority(text);
        if (!priority) {
            logLine(0, QStringLiteral("a sitemap priority is a number from 0.0 to 1.0; \"%1\" is not used").arg(text));
            if (m_observer.beep)
                m_observer.beep();
            return;
        }
        text = *priority;
        rule = ruleThatApplies(url).value_or(QVariantMap { { QStringLiteral("contains"), url }, { kPriority, text },
            { QStringLiteral("update"), page->getChangefrequency() }, { QStringLiteral("match"), true } });
        rule.insert(kPriority, text);
        logLine(1,
            QStringLiteral("new rule is {contains = %1; priority = %2; update = %3; match = %4}")
                .arg(rule.value(QStringLiteral("contains")).toString(), text,
                    rule.value(QStringLiteral("update")).toString(),
                    crawlmere::platform::boolValue(rule.value(QStringLiteral("match"))) ? QStringLiteral("1")
                                                                                        : QStringLiteral("0")));
    }
    if (m_ruleStore)
        m_ruleStore(rule);
    // The manager is the notification's object without being owned by it.
    platform::NotificationCenter::defaultCenter().post(
        CrwlSitemapRulesDidChange, std::shared_ptr<void>(std::shared_ptr<void>(), this));
}

void SitemapManager::tableViewSortDescriptorsDidChange(TableView& table)
{
    if (m_sitemapCollection) {
        QList<Item> items(m_sitemapCollection->begin(), m_sitemapCollection->end());
        sortItems(items, sitemapSortDescriptors(table));
        for (size_t i = 0; i < m_sitemapCollection->size(); ++i)
            (*m_sitemapCollection)[i] = std::static_pointer_cast<CrwlUrl>(items.at(qsizetype(i)));
    }
    table.reloadData();
}

void SitemapManager::doubleClick(qsizetype row)
{
    logLine(1, QStringLiteral("SitemapManager doubleClick"));
    const auto& pages = getSitemapCollection();
    if (row < 0 || row >= qsizetype(pages.size()))
        return;
    if (m_observer.showInspector)
        m_observer.showInspector(pages[size_t(row)]);
}

QString SitemapManager::sitemapUrlAtRow(qsizetype row)
{
    const CrwlUrl* page = pageAt(row);
    return page ? CrwlUrl::forceTrimHash(page->finalURLString()) : QString();
}

QString SitemapManager::excludedUrlAtRow(qsizetype row)
{
    const auto page = excludedPageAtRow(row);
    return page ? CrwlUrl::forceTrimHash(page->finalURLString()) : QString();
}

namespace {

void handTo(const std::function<void(const QString&)>& hook, const QString& url)
{
    if (!url.isEmpty() && hook)
        hook(url);
}

} // namespace

void SitemapManager::copyURL(qsizetype row) { handTo(m_observer.toClip, sitemapUrlAtRow(row)); }
void SitemapManager::visitURL(qsizetype row) { handTo(m_observer.openURL, sitemapUrlAtRow(row)); }
void SitemapManager::copyExcludedPageUrl(qsizetype row) { handTo(m_observer.toClip, excludedUrlAtRow(row)); }
void SitemapManager::visitExcludedPageUrl(qsizetype row) { handTo(m_observer.openURL, excludedUrlAtRow(row)); }

bool SitemapManager::shouldDisplayImageBasedOnFilterButton(const CrwlLinkInstance& image) const
{
    return m_highlightTag != kImagesWithoutAltTag || image.getLinkText().size() < 10;
}

void SitemapManager::updateChangeFrequencies()
{
    // Most sites have no rules: their pages all take the chosen frequency.
    const bool anyRules = !m_crawlSettings.value(QStringLiteral("sitemapRules")).toList().isEmpty();
    for (const Item& item : std::as_const(collection)) {
        const auto page = std::static_pointer_cast<CrwlUrl>(item);
        if (!page)
            continue;
        const auto rule = anyRules ? ruleThatApplies(page->finalURLString()) : std::nullopt;
        // A rule's "None" is no frequency of its own: the page takes the pop-up's.
        const QString update = rule ? rule->value(QStringLiteral("update")).toString() : QString();
        page->setChangeFrequency(
            SitemapXmlWriter::isChangeFrequency(update) ? update : m_changeFrequency.title);
    }
    if (m_sitemapTable)
        m_sitemapTable->reloadData();
}

} // namespace crawlmere::sitemap
