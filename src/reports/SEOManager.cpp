// The SEO tab's data source: tables, filter, row actions and the image preview fetch.
#include "reports/SEOManager.h"

#include "engine/CrwlLinkInstance.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/UrlOpener.h"
#include "platform/UrlRequest.h"
#include "platform/UrlSession.h"
#include "platform/UserDefaults.h"

#include <QUrl>

#include <algorithm>

namespace crawlmere::reports {

using platform::logLine;
namespace Dispatch = platform::Dispatch;

namespace {

constexpr qint64 kDefaultThinContent = 250;

TableColumn column(const char* identifier, const char* title, bool hidden = false)
{
    return { QLatin1String(identifier), QLatin1String(title), hidden };
}

qint64 threshold(const platform::UserDefaults& defaults, platform::DefaultsKey<qint64> key)
{
    return defaults.value(key);
}

} // namespace

SEOManager::SEOManager(platform::UserDefaults& defaults)
    : m_defaults(defaults)
{
}

SEOManager::~SEOManager()
{
    if (m_previewSession)
        m_previewSession->invalidateAndCancel();
}

void SEOManager::setTables(TableView* pages, TableView* metaData, TableView* headings, TableView* images)
{
    m_pages = pages;
    m_metaData = metaData;
    m_headings = headings;
    m_imagesTable = images;
}

QList<TableColumn> SEOManager::pageColumns()
{
    return { column("url", "URL"), column("linkpagetitle", "Title"), column("titlelength", "Title length"),
        column("metadescription", "Description"), column("descriptionlength", "Description length"),
        column("canonical", "Canonical", true), column("responsetime", "Response time", true),
        column("imageqty", "Image count", true), column("imageweight", "Image weight", true),
        column("linkcount", "Link count"), column("wordcount", "Word count"),
        column("onpagecount", "Internal backlinks", true), column("lastmodified", "Last modified", true),
        column("robots", "Robots", true) };
}

QList<TableColumn> SEOManager::metaDataColumns()
{
    return { column("url", "URL"), column("ogtitle", "og:title"), column("ogdescription", "og:description"),
        column("ogimage", "og:image"), column("ogtype", "og:type", true), column("ogurl", "og:url", true),
        column("twittertitle", "twitter:title"), column("twitterdescription", "twitter:description"),
        column("twittercard", "twitter:card", true), column("twitterimage", "twitter:image", true),
        column("itempropname", "itemprop name", true), column("itempropdescription", "itemprop description", true),
        column("jsonldtypes", "JSON-LD types", true) };
}

QList<TableColumn> SEOManager::headingsColumns()
{
    return { column("url", "URL"), column("h1", "H1"), column("h2", "H2"), column("h3", "H3"), column("h4", "H4") };
}

QList<TableColumn> SEOManager::imagesColumns()
{
    return { column("linktext", "Alt text"), column("absoluteStringDecoded", "Image URL"),
        column("onpageurl", "Appears on") };
}

QList<SEOFilterItem> SEOManager::filterItems()
{
    return { { QStringLiteral("All pages"), 0 }, { QStringLiteral("Pages without title"), 1 },
        { QStringLiteral("Possible duplicate pages"), 2 }, { QStringLiteral("Robots nofollow"), 3 },
        { QStringLiteral("Too many links"), 4 }, { QStringLiteral("Description too long or short"), 5 },
        { QStringLiteral("Duplicate titles"), 6 }, { QStringLiteral("Pages without description"), 7 },
        { QStringLiteral("Title too long"), 8 }, { QStringLiteral("Duplicate descriptions"), 9 },
        { QStringLiteral("High keyword density"), kKeywordTag }, { QStringLiteral("Thin content"), 11 },
        { QStringLiteral("Images without alt text"), kImagesWithoutAltTag }, { QStringLiteral("Deep content"), 13 },
        { QStringLiteral("Mixed content"), 14 }, { QStringLiteral("No h1 heading"), 16 },
        { QStringLiteral("More than one h1 heading"), 17 }, { QStringLiteral("Disallowed by robots.txt"), 18 } };
}

// ===== State and intake ==========================================================================

void SEOManager::setSearchText(const QString& text)
{
    m_search = text;
    if (m_imagesTable)
        m_imagesTable->reloadData();
}

void SEOManager::setCollection(const CrwlUrlList& pages)
{
    QList<Item> items;
    items.reserve(qsizetype(pages.size()));
    for (const auto& page : pages)
        items.append(page);
    qfDataSource::setCollection(std::move(items));
    SEOfilter();
}

void SEOManager::setImagesCollection(CrwlUrl::InstanceList images)
{
    m_images = std::move(images);
    m_imagesWithoutAlt.reset();
    SEOfilter();
}

CrwlUrl::InstanceList SEOManager::imageOccurrencesOf(const CrwlUrlList& pages)
{
    CrwlUrl::InstanceList images;
    for (const auto& page : pages) {
        if (!page)
            continue;
        const CrwlUrl::InstanceList& onPage = page->linkedImagesArray();
        images.insert(images.end(), onPage.begin(), onPage.end());
    }
    return images;
}

void SEOManager::populate(const CrwlUrlList& pages)
{
    setCollection(pages);
    setImagesCollection(imageOccurrencesOf(pages));
}

void SEOManager::clear()
{
    qfDataSource::clear();
    m_images.clear();
    m_imagesWithoutAlt.reset();
    m_tag = 0;
    for (TableView* table : { m_pages, m_metaData, m_headings, m_imagesTable }) {
        if (table) {
            table->setSortDescriptors({});
            table->reloadData();
        }
    }
    m_stats.clear();
}

// ===== Filtering =================================================================================

void SEOManager::handleSwitch(int tag)
{
    m_tag = tag;
    SEOfilter();
    const QString tab = tag == kImagesWithoutAltTag ? kImagesTab : kPagesTab;
    m_tab = tab;
    if (m_hooks.selectTab)
        m_hooks.selectTab(tab);
    reloadData();
}

void SEOManager::SEOfilter()
{
    if (!m_defaults.value(defaultsKey::SEOEnabled))
        return;
    logLine(3, QStringLiteral("SEOFilter running on a collection of %1").arg(collection.size()));
    for (const Item& item : std::as_const(collection)) {
        const auto* page = static_cast<const CrwlUrl*>(item.get());
        item->setVisible(page && shouldDisplayBasedOnFilterButton(*page));
    }
    invalidateSortedAndFilteredArray();
    for (TableView* table : { m_pages, m_imagesTable }) {
        if (table)
            table->reloadData();
    }
    if (m_visibilityObserver)
        m_visibilityObserver();
}

bool SEOManager::shouldDisplayBasedOnFilterButton(const CrwlUrl& page) const
{
    return shouldDisplayBasedOnFilterButton(page, m_tag, m_defaults);
}

bool SEOManager::shouldDisplayBasedOnFilterButton(
    const CrwlUrl& page, int tag, const platform::UserDefaults& defaults)
{
    if (tag == 0)
        return true;
    if (!page.isHTML())
        return false;
    switch (tag) {
    case 1:
        return page.getLinkpagetitle().isEmpty();
    case 2:
        return !page.getUrlsWithDuplicatesRefresh(false).empty();
    case 3:
        return page.headContainsNoFollow();
    case 4:
        return page.getLinkcount() > threshold(defaults, defaultsKey::tooManyLinks);
    case 5: {
        const qint64 length = page.getMetadescription().size();
        return length > threshold(defaults, defaultsKey::metaDescriptionMax) || length < threshold(defaults, defaultsKey::metaDescriptionMin);
    }
    case 6:
        return page.getUrlsWithDuplicateTitlesRefresh(false).size() >= 2;
    case 7:
        return page.getMetadescription().isEmpty();
    case 8:
        return qint64(page.getLinkpagetitle().size()) > threshold(defaults, defaultsKey::metaTitleMax);
    case 9:
        return page.getUrlsWithDuplicateDescriptionsRefresh(false).size() >= 2;
    case kKeywordTag:
        return page.isKeywordStuffed();
    case 11: {
        const QString key = defaultsKey::maxThinContent;
        const qint64 limit = defaults.objectForKey(key).isValid() ? defaults.integerForKey(key) : kDefaultThinContent;
        return page.getWordcount() < limit;
    }
    case 13:
        return page.isDeepContent();
    case 14:
        return page.getHasMixedContent();
    case 16:
        return page.h1Count() == 0;
    case 17:
        return page.h1Count() > 1;
    case 18:
        return page.isDisallowed();
    default:
        // Tag 12 belongs to the images table; unknown tags show nothing.
        return false;
    }
}

const CrwlUrl::InstanceList& SEOManager::getImagesWithoutAltText()
{
    if (!m_imagesWithoutAlt) {
        CrwlUrl::InstanceList without;
        for (const auto& occurrence : m_images) {
            if (occurrence && occurrence->getLinkText().size() <= kMaxLinkTextWithoutAlt)
                without.push_back(occurrence);
        }
        m_imagesWithoutAlt = std::move(without);
    }
    return *m_imagesWithoutAlt;
}

// ===== Tables ====================================================================================

bool SEOManager::showsImagesWithoutAlt() const { return !m_search.isEmpty() || m_tag == kImagesWithoutAltTag; }

const CrwlUrl::InstanceList& SEOManager::shownImages()
{
    return showsImagesWithoutAlt() ? getImagesWithoutAltText() : m_images;
}

qsizetype SEOManager::numberOfRowsInTableView(TableView& table)
{
    if (&table == m_imagesTable)
        return qsizetype(shownImages().size());
    if (&table == m_pages || &table == m_metaData || &table == m_headings)
        return qfDataSource::numberOfRowsInTableView(table);
    return 0;
}

QString SEOManager::imageCellValue(const CrwlLinkInstance& occurrence, const QString& identifier)
{
    if (identifier == u"linktext") {
        QString text = occurrence.getLinkText();
        for (const char* marker : { "[img alt]:", "[img alt]", "[alt]:" })
            text.remove(QLatin1String(marker), Qt::CaseSensitive);
        return text;
    }
    if (identifier == u"absoluteStringDecoded")
        return occurrence.getAbsoluteStringDecoded();
    if (identifier == u"onpageurl")
        return occurrence.getOnPageUrl();
    return {};
}

QVariant SEOManager::tableViewObjectValue(TableView& table, const TableColumn& column, qsizetype row)
{
    if (&table == m_imagesTable) {
        const CrwlUrl::InstanceList& images = shownImages();
        if (row < 0 || row >= qsizetype(images.size()) || !images[size_t(row)])
            return {};
        const QString value = imageCellValue(*images[size_t(row)], column.identifier);
        return value.isNull() ? QVariant() : QVariant(value);
    }
    if (&table == m_pages || &table == m_metaData || &table == m_headings)
        return qfDataSource::tableViewObjectValue(table, column, row);
    return {};
}

void SEOManager::tableViewSortDescriptorsDidChange(TableView& table)
{
    if (&table != m_imagesTable) {
        qfDataSource::tableViewSortDescriptorsDidChange(table);
        return;
    }
    QList<Item> items(m_images.begin(), m_images.end());
    sortItems(items, table.sortDescriptors());
    m_images.clear();
    for (const Item& item : std::as_const(items))
        m_images.push_back(std::static_pointer_cast<CrwlLinkInstance>(item));
    table.reloadData();
}

void SEOManager::reloadData()
{
    const std::weak_ptr<int> alive = m_alive;
    const auto reloadAll = [this, alive] {
        if (alive.expired())
            return;
        for (TableView* table : { m_pages, m_metaData, m_imagesTable, m_headings }) {
            if (table)
                table->reloadData();
        }
    };
    if (Dispatch::isMainThread())
        reloadAll();
    else
        Dispatch::toMain(reloadAll);
}

std::shared_ptr<CrwlLinkInstance> SEOManager::getnthVisibleImage(qsizetype n) const
{
    return n >= 0 && n < qsizetype(m_images.size()) ? m_images[size_t(n)] : nullptr;
}

std::shared_ptr<CrwlUrl> SEOManager::getSelectedImage()
{
    if (!m_imagesTable || !m_hooks.selectedRow)
        return nullptr;
    const qsizetype row = m_hooks.selectedRow(*m_imagesTable);
    const CrwlUrl::InstanceList& images = shownImages();
    if (row < 0 || row >= qsizetype(images.size()) || !images[size_t(row)])
        return nullptr;
    return images[size_t(row)]->target();
}

bool SEOManager::isInSEOManagersCollection(const CrwlUrl& page) const
{
    return std::any_of(collection.cbegin(), collection.cend(), [&](const Item& item) { return item.get() == &page; });
}

bool SEOManager::dataAvailableForSitemap() { return m_pages && numberOfRowsInTableView(*m_pages) > 0; }

// ===== Actions ===================================================================================

TableView* SEOManager::pageTableOfTab() const
{
    // Each page table answers for its own selection, the headings table too.
    if (m_tab == kMetaDataTab)
        return m_metaData;
    if (m_tab == kHeadingsTab)
        return m_headings;
    return m_pages;
}

std::shared_ptr<CrwlUrl> SEOManager::selectedPage(TableView* table)
{
    if (!table || !m_hooks.selectedRow)
        return nullptr;
    const qsizetype row = m_hooks.selectedRow(*table);
    if (row < 0)
        return nullptr;
    return std::static_pointer_cast<CrwlUrl>(getItemAtRowIndex(quint64(row)));
}

void SEOManager::SEODoubleClick()
{
    if (m_tab == kImagesTab)
        return;
    const std::shared_ptr<CrwlUrl> page = selectedPage(pageTableOfTab());
    if (!page)
        return;
    if (m_tag == kKeywordTag)
        showKeywordAnalysis(page);
    else
        showInspector(page);
}

void SEOManager::showInspector(const std::shared_ptr<CrwlUrl>& page)
{
    if (page && m_hooks.showInspector)
        m_hooks.showInspector(page);
}

platform::UrlRequest SEOManager::imagePreviewRequest(const CrwlUrl& image, double timeoutSeconds)
{
    platform::UrlRequest request(image.absoluteString(), timeoutSeconds);
    // Every fetch goes to the server: the session keeps no cache to reload past.
    request.userAgent = kPreviewUserAgent;
    request.maxBodyBytes = kPreviewMaxBytes;
    const auto last = image.lastInboundInstance();
    const auto parent = last ? last->parent() : nullptr;
    const QString referer = parent ? parent->getLinkUrlForTesting() : QString();
    if (!referer.isEmpty())
        request.setValue(referer.toUtf8(), "Referer");
    else
        logLine(1,
            QStringLiteral("unable to set referer for %1, we have %2 instances")
                .arg(image.absoluteString(), QString::number(image.occurrencesCount())));
    return request;
}

void SEOManager::imagesDoubleClick()
{
    const std::shared_ptr<CrwlUrl> image = getSelectedImage();
    if (!image)
        return;
    if (m_previewSession)
        m_previewSession->invalidateAndCancel();
    if (m_hooks.previewStarted)
        m_hooks.previewStarted();
    platform::UrlRequest request = imagePreviewRequest(*image, m_previewTimeout);
    logLine(3, QStringLiteral("sending request for %1").arg(request.url));

    const std::weak_ptr<int> alive = m_alive;
    platform::UrlSessionDelegate delegate;
    delegate.didCompleteWithError = [this, alive](platform::UrlSession& session, const platform::UrlTaskResult& result) {
        QByteArray body;
        if (result.error) {
            logLine(1, QStringLiteral("error fetching image: %1").arg(result.error->localizedDescription));
        } else {
            logLine(2, QStringLiteral("%1 bytes returned").arg(result.body.size()));
            if (result.response && result.response->isHttp)
                logLine(2, QStringLiteral("response code is %1").arg(result.response->statusCode));
            body = result.body;
        }
        const quint64 id = session.identifier();
        Dispatch::toMain([this, alive, id, body = std::move(body)] {
            // A later double-click replaced this fetch; its own completion ends the preview.
            if (alive.expired() || !m_previewSession || m_previewSession->identifier() != id)
                return;
            m_previewSession.reset();
            if (m_hooks.previewFinished)
                m_hooks.previewFinished(body);
        });
    };
    m_previewSession = platform::UrlSession::create(std::move(delegate));
    m_previewSession->start(std::move(request));
}

std::shared_ptr<CrwlUrl> SEOManager::selectedRowObject()
{
    if (m_tab == kImagesTab)
        return getSelectedImage();
    return selectedPage(pageTableOfTab());
}

void SEOManager::copyURL()
{
    if (const auto row = selectedRowObject())
        toClip(CrwlUrl::forceTrimHash(row->absoluteString()));
}

void SEOManager::visitURL()
{
    if (const auto row = selectedRowObject(); row && m_urlOpener)
        m_urlOpener->openURL(QUrl(CrwlUrl::forceTrimHash(row->absoluteString())));
}

QUrl SEOManager::validatorAddress(const QString& pageUrl)
{
    QUrl address(kValidatorCheckAddress);
    // Encoded in full, so "&", "#", "+" and "?" of the page's address stay inside the value.
    address.setQuery(QStringLiteral("uri=") + QString::fromLatin1(QUrl::toPercentEncoding(pageUrl)),
        QUrl::StrictMode);
    return address;
}

void SEOManager::validateURL()
{
    if (const auto page = selectedPage(pageTableOfTab()); page && m_urlOpener)
        m_urlOpener->openURL(validatorAddress(CrwlUrl::forceTrimHash(page->absoluteString())));
}

void SEOManager::summaryToClip() { toClip(m_stats); }

void SEOManager::toClip(const QString& text)
{
    if (m_hooks.toClip)
        m_hooks.toClip(text);
}

} // namespace crawlmere::reports
