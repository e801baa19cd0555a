// The page parser as link extraction reads it: one parsed page handing out its links one at a time
// with their attributes, and its page facts; and the parsers that make such pages. The engine
// declares them; the parsing library implements them.
#pragma once

#include "platform/TextEncoding.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <memory>
#include <optional>

/// One parsed page (an HTML page, URL list, sitemap, or a PDF, style sheet, DOCX or RTF file).
/// It belongs to one caller on one thread; link iteration is the only state that changes.
class LinkExtractionParser {
public:
    virtual ~LinkExtractionParser();

    // ---- Link iteration ------------------------------------------------------------------------

    /// getNextHref: the next URL as written in the page; nullopt when there are no more. The
    /// getters below answer about the link the URL came from.
    virtual std::optional<QString> getNextHref() = 0;
    /// The link text, or one of the markers "[linked file]", "[alt]: …", "[form action]"; "".
    virtual QString getLinkText() const = 0;
    virtual QString getRel() const = 0;
    virtual QString getTypeAttribute() const = 0;
    virtual QString getHreflang() const = 0;
    virtual QString getTargetAttr() const = 0;
    /// The line of the link's href; nullopt when unknown.
    virtual std::optional<int> getLineNumber() const = 0;
    /// setXMLMode: reads the page as an XML sitemap from here on.
    virtual void setXMLMode() = 0;

    // ---- Page facts (empty for the parsers of other file types) --------------------------------

    /// The number of bytes the parser read; 0 when it read none.
    virtual qint64 getLength() const = 0;
    virtual QString getTitle() const = 0;
    virtual QString getCanonical() const = 0;
    /// The page's base href; null when it has none.
    virtual QString getBaseHref() const = 0;
    /// Headings in page order, each "\t" × (level − 1) + text.
    virtual QStringList getHeadings() const = 0;
    /// The meta elements as attribute dictionaries.
    virtual QVariantList getMetaData() const = 0;
    virtual bool getHeadContainsNofollow() const = 0;
    virtual bool getHeadContainsNoindex() const = 0;
    virtual QVariantList getJsonld() const = 0;
    virtual qint64 getWordCount() const = 0;
    virtual qint64 getFileSize() const = 0;
    /// The HTML-validation warnings.
    virtual QStringList getWarnings() const = 0;
    /// The page's ids and anchor names.
    virtual QStringList getNames() const = 0;
    /// The files its script and link elements load over plain http that are not among the links
    /// (checking linked files is off); none by default.
    virtual QStringList getHttpLinkedFiles() const { return {}; }

    // ---- Text checks of the reports -----------------------------------------------------------

    /// getSpellingCount: the spelling and grammar issues of the page's text.
    virtual qint64 getSpellingCount() const = 0;
    /// getAllSpelling: the misspelled words of the page's text, each once.
    virtual QStringList getAllSpelling() const = 0;
    /// isKeywordStuffed: one word of the page's text exceeds the keyword-density threshold.
    virtual bool isKeywordStuffed() const = 0;

protected:
    LinkExtractionParser() = default;
};

/// Makes the parser of one fetched page. Implementations keep no state between calls and may be
/// shared; link extraction calls them on the main thread.
class LinkExtractionParsers {
public:
    enum class DocumentKind { PDF, CSS, DOCX, RTF };

    virtual ~LinkExtractionParsers();

    /// The link extractor of a PDF, style sheet, DOCX or RTF file; null when it cannot be made.
    virtual std::unique_ptr<LinkExtractionParser> makeDocumentParser(
        DocumentKind kind, const QByteArray& data) const = 0;
    /// The page scanner over `data` with SEO and no-index checks on, every page kept even
    /// without links, and the options the scan's settings name (`checkImages`, `linkedFiles`,
    /// `lookForLazyLoadImageURLs`, names unless `shouldTrimHash`). `fileType` 0 HTML, 2 and 3
    /// URL lists, 4 sitemap. Null when no parser results (empty data).
    virtual std::unique_ptr<LinkExtractionParser> makePageParser(const QByteArray& data,
        crawlmere::platform::EncodingId encoding, int fileType, const QVariantMap& crawlSettings) const = 0;
    /// The page scanner over a page's unrendered source, for its validation warnings: SEO and
    /// no-index checks on, lazy-load search off, options from the defaults. Null as above.
    virtual std::unique_ptr<LinkExtractionParser> makeSourceParser(
        const QByteArray& data, crawlmere::platform::EncodingId encoding, int fileType) const = 0;

protected:
    LinkExtractionParsers() = default;
};
