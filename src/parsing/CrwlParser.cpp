// Construction of the page scanner from page bytes, an encoding, a file-type code and settings;
// its warnings and the builders of its link records.
#include "parsing/CrwlParser.h"

#include "engine/CrawlSettingKeys.h"

#include "parsing/detail/HtmlPageLoad.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/StoredValue.h"

namespace detail = crawlmere::parsing::detail;
namespace Encoding = crawlmere::platform::Encoding;

namespace {

bool contains(std::string_view haystack, std::string_view needle) { return haystack.find(needle) != std::string_view::npos; }

// The page could hold a link: an anchor with an href, a frameset or an iframe (case-sensitive).
bool passesNoLinksPreCheck(std::string_view page)
{
    if ((contains(page, "<a") || contains(page, "<A")) && (contains(page, "href") || contains(page, "HREF")))
        return true;
    return contains(page, "frameset") || contains(page, "FRAMESET") || contains(page, "<iframe")
        || contains(page, "<IFRAME");
}

// An encoding that a byte-order mark at the start of the page names, or 0.
crawlmere::platform::EncodingId encodingOfByteOrderMark(std::string_view page)
{
    if (page.substr(0, 3) == "\xEF\xBB\xBF")
        return Encoding::UTF8;
    if (page.substr(0, 2) == "\xFE\xFF")
        return Encoding::UTF16BigEndian;
    if (page.substr(0, 2) == "\xFF\xFE")
        return Encoding::UTF16LittleEndian;
    return Encoding::None;
}

bool settingsBool(const QVariantMap& settings, crawlmere::engine::CrawlSettingKey key)
{
    return crawlmere::platform::boolValue(settings.value(key));
}

bool defaultsCheckImages()
{
    return detail::defaultsBool(crawlKey::checkImages) || detail::defaultsBool(defaultsKey::enableImageSitemap)
        || detail::defaultsBool(defaultsKey::includeimagesinsitemap);
}

bool isJavaScriptConcatenation(const QString& url)
{
    // Most URLs hold no "+" at all: one character search settles them.
    const QStringView view(url);
    for (qsizetype plus = view.indexOf(u'+'); plus >= 0; plus = view.indexOf(u'+', plus + 1)) {
        const QStringView rest = view.mid(plus + 1);
        if (rest.startsWith(u'"') || rest.startsWith(QLatin1StringView(" \"")))
            return true;
    }
    return false;
}

} // namespace

CrwlParser::~CrwlParser() = default;

void CrwlParser::setPageData(const QByteArray& pageData)
{
    data = pageData;
    bytes = std::string_view(data.constData(), static_cast<size_t>(data.size()));
    l = data.size();
}

std::unique_ptr<CrwlParser> CrwlParser::initWithData(QByteArray pageData, const Options& options)
{
    std::unique_ptr<CrwlParser> parser(new CrwlParser());
    const std::string_view page(pageData.constData(), static_cast<size_t>(pageData.size()));

    if (options.fileType == HTML && !options.allowNoLinks && !passesNoLinksPreCheck(page))
        return nullptr;

    parser->m_fileType = options.fileType;
    parser->lazyload = options.lazyload;
    parser->useEncoding = options.useEncoding;
    if (options.useEncoding == Encoding::None)
        detail::parserLog(1, QStringLiteral("parser initiated with nil text encoding"));

    // A byte-order mark is certain; a declared charset replaces what the caller detected.
    if (const auto charset = extractCharsetFromHTML(page)) {
        if (const EncodingId declared = encodingForCharset(*charset))
            parser->useEncoding = declared;
    }
    if (const EncodingId marked = encodingOfByteOrderMark(page))
        parser->useEncoding = marked;

    if (pageData.isEmpty()) {
        detail::parserLog(2, QStringLiteral("parser initiated with nil or no data"));
        return nullptr;
    }

    parser->data = std::move(pageData);
    parser->bytes = std::string_view(parser->data.constData(), static_cast<size_t>(parser->data.size()));
    parser->l = parser->data.size();
    parser->seoOn = options.withSEO;
    parser->collectNames = options.collectNames;
    parser->checkImages = options.checkImages;
    parser->linkedFiles = options.linkedFiles;
    parser->searchMetaDataForURLs = options.searchMetaDataForURLs;
    parser->parserContentConsolidateWhitespace = detail::defaultsBool(defaultsKey::parserContentConsolidateWhitespace);
    parser->parserContentOnlyParas = detail::defaultsBool(defaultsKey::parserContentOnlyParas);
    parser->parserContentIncludeAltText = detail::defaultsBool(defaultsKey::parserContentIncludeAltText);
    parser->parserContentIgnoreNav = detail::defaultsBool(defaultsKey::parserContentIgnoreNav);
    parser->parserContentIgnoreHeader = detail::defaultsBool(defaultsKey::parserContentIgnoreHeader);

    parser->bigKahunaPass();
    return parser;
}

std::unique_ptr<CrwlParser> CrwlParser::initWithUrl(const QString& url, bool allowNoLinks)
{
    auto page = detail::loadHtmlPage(url, kLoadTimeoutSeconds);
    if (!page)
        return nullptr;
    Options options;
    options.withSEO = true;
    options.useEncoding = page->encoding;
    options.fileType = static_cast<int>(detail::defaultsInteger(QStringLiteral("fileType")));
    options.allowNoLinks = allowNoLinks;
    options.checkImages = defaultsCheckImages();
    options.linkedFiles = detail::defaultsBool(crawlKey::linkedFiles);
    options.searchMetaDataForURLs = detail::defaultsBool(crawlKey::searchMetaDataForURLs);
    return initWithData(std::move(page->body), options);
}

std::unique_ptr<CrwlParser> CrwlParser::initWithData(QByteArray pageData, bool withSEO, bool checkNoIndex,
    EncodingId encoding, int fileType, bool lazyloadImages, bool collectNamesAndIds)
{
    Options options;
    options.withSEO = withSEO;
    options.checkNoIndex = checkNoIndex;
    options.useEncoding = encoding;
    options.fileType = fileType;
    options.lazyload = lazyloadImages;
    options.collectNames = collectNamesAndIds;
    options.allowNoLinks = false;
    options.checkImages = defaultsCheckImages();
    options.linkedFiles = detail::defaultsBool(crawlKey::linkedFiles);
    options.searchMetaDataForURLs = detail::defaultsBool(crawlKey::searchMetaDataForURLs);
    return initWithData(std::move(pageData), options);
}

std::unique_ptr<CrwlParser> CrwlParser::initWithData(QByteArray pageData, bool withSEO, bool checkNoIndex,
    EncodingId encoding, int fileType, const QVariantMap& crawlSettings, bool allowNoLinks)
{
    Options options;
    options.withSEO = withSEO;
    options.checkNoIndex = checkNoIndex;
    options.useEncoding = encoding;
    options.fileType = fileType;
    options.lazyload = settingsBool(crawlSettings, crawlKey::lookForLazyLoadImageURLs);
    options.collectNames = !settingsBool(crawlSettings, crawlKey::shouldTrimHash);
    options.allowNoLinks = allowNoLinks;
    options.checkImages = getCheckImages(crawlSettings);
    options.linkedFiles = settingsBool(crawlSettings, crawlKey::linkedFiles);
    options.searchMetaDataForURLs = settingsBool(crawlSettings, crawlKey::searchMetaDataForURLs);
    return initWithData(std::move(pageData), options);
}

bool CrwlParser::getCheckImages(const QVariantMap& crawlSettings)
{
    // The site's own value decides, NO included; the sitemap's image settings stand in only
    // for a site that holds none.
    if (crawlSettings.value(crawlKey::checkImages).isValid())
        return settingsBool(crawlSettings, crawlKey::checkImages);
    if (settingsBool(crawlSettings, crawlKey::isSearch))
        return false;
    return detail::defaultsBool(defaultsKey::enableImageSitemap)
        || detail::defaultsBool(defaultsKey::includeimagesinsitemap);
}

void CrwlParser::addWarning(const QString& warning)
{
    if (m_fileType != HTML || !detail::defaultsBool(defaultsKey::htmlValidationEnabled))
        return;
    if (warnings.size() < kMaxWarnings)
        warnings.append(warning);
}

void CrwlParser::addWarnings(const QStringList& list)
{
    for (const QString& warning : list)
        addWarning(warning);
}

// ---- Link-record builders -------------------------------------------------------------------------

void CrwlParser::appendUrls(const QStringList& urls)
{
    for (const QString& url : urls) {
        if (currentDictionary.urlArray.size() >= kMaxUrlsPerRecord)
            break;
        currentDictionary.urlArray.append(url);
    }
}

void CrwlParser::addURLToCollection(const QString& url)
{
    if (isJavaScriptConcatenation(url)) {
        detail::parserLog(1, QStringLiteral("appears to be javascript, abandoning"));
        return;
    }
    if (currentDictionary.urlArray.size() < kMaxUrlsPerRecord)
        currentDictionary.urlArray.append(url);
    currentDictionary.lineNumber = currentLine();
}

void CrwlParser::addURLsToCollection(const QStringList& urls)
{
    for (const QString& url : urls)
        if (isJavaScriptConcatenation(url))
            return;
    appendUrls(urls);
    currentDictionary.lineNumber = currentLine();
}

void CrwlParser::addLinkTextToCollection(const QString& text) { currentDictionary.linkText = text; }
void CrwlParser::addRelToCollection(const QString& rel) { currentDictionary.rel = rel; }
void CrwlParser::addHreflangToCollection(const QString& hreflang) { currentDictionary.hreflang = hreflang; }
void CrwlParser::addTargetToCollection(const QString& target) { currentDictionary.target = target; }
void CrwlParser::addAltTextToCollection(const QString& alt) { currentDictionary.altText = alt; }

void CrwlParser::addTypeToCollection(const QString& type)
{
    detail::parserLog(4, QStringLiteral("adding type: %1").arg(type));
    currentDictionary.type = type;
}

void CrwlParser::addLinkedFileToCollection(const QString& url)
{
    if (!linkedFiles) {
        // Not a link then, but a secure page that loads it still has mixed content.
        if (url.trimmed().startsWith(QLatin1StringView("http:"), Qt::CaseInsensitive)
            && httpLinkedFiles.size() < kMaxUrlsPerRecord)
            httpLinkedFiles.append(url.trimmed());
        return;
    }
    addURLToCollection(url);
    addLinkTextToCollection(QStringLiteral("[linked file]"));
}

void CrwlParser::addMetaTagURLoCollection(const QString& url, const QString& name)
{
    if (!searchMetaDataForURLs)
        return;
    addURLToCollection(url);
    addLinkTextToCollection(QStringLiteral("[meta tag: %1]").arg(name));
}

void CrwlParser::addFormActionToCollection(const QString& url)
{
    addURLToCollection(url);
    addLinkTextToCollection(QStringLiteral("[form action]"));
}

void CrwlParser::addAudioVideoToCollection(const QStringList& urls)
{
    appendUrls(urls);
    addLinkTextToCollection(QStringLiteral("[audio/video]"));
}

void CrwlParser::addcachedPictureSourcesToCollection(const QStringList& urls) { appendUrls(urls); }

void CrwlParser::addNameToCollection(const QString& name)
{
    if (names.size() < kMaxNames)
        names.append(name);
}

void CrwlParser::addHeadingToCollection(const QString& heading, int level)
{
    const QString text = heading.trimmed();
    if (text.isEmpty() || headingCollection.size() >= kMaxHeadings)
        return;
    headingCollection.append(QString(qMax(level - 1, 0), u'\t') + text);
}

void CrwlParser::underlineData()
{
    if (currentDictionary.hasUrls() && collection.size() < kMaxRecords)
        collection.append(std::move(currentDictionary));
    currentDictionary = CrwlLinkRecord();
}

void CrwlParser::underlineURLsWithinArea()
{
    if (currentDictionary.altText) {
        currentDictionary.linkText = currentDictionary.altText;
        currentDictionary.altText.reset();
    }
    underlineData();
}

void CrwlParser::underlineImageWithinAHrefLink()
{
    if (currentDictionary.urlArray.size() < 2)
        return;
    CrwlLinkRecord image;
    image.lineNumber = currentDictionary.lineNumber;
    image.urlArray = currentDictionary.urlArray.mid(1);
    image.altText = currentDictionary.altText.value_or(QStringLiteral("[alt]:"));
    currentDictionary.altText.reset();
    currentDictionary.urlArray = currentDictionary.urlArray.mid(0, 1);
    if (collection.size() < kMaxRecords)
        collection.append(std::move(image));
}
