// The page scanner: reads one fetched page in a single pass over its bytes into link records and
// page facts, and offers the byte and text routines that the other parsers share.
#pragma once

#include "parsing/CrwlLinkRecord.h"
#include "platform/SpellChecker.h"
#include "platform/TextEncoding.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace crawlmere::parsing::detail {
class CaptureBuffer;
struct ScanBuffers;
struct BodyState;
struct TagSpan;
struct AttributeSpan;
} // namespace crawlmere::parsing::detail

class CrwlXmlTag;

/// A parser is made once per page, parses the page completely while it is made, and is then only
/// read (link iteration being the one state that changes afterwards). It belongs to one caller and
/// one thread at a time; the bytes it was given are shared, never copied.
class CrwlParser {
public:
    using EncodingId = crawlmere::platform::EncodingId;

    /// File-type codes. Only `HTML` runs the scanner; any other code yields no link records.
    enum FileType : int {
        HTML = 0,
        CommaSeparatedList = 2,
        WhitespaceSeparatedList = 3,
        XMLSitemap = 4,
    };

    /// Everything the designated initialiser takes. The three settings at the end are filled by the
    /// defaults-based and the settings-based initialisers; given directly they are used as they are.
    struct Options {
        bool withSEO = false; ///< stored as `seoOn`: meta tags, robots flags and headings
        bool checkNoIndex = false; ///< accepted and ignored
        EncodingId useEncoding = 0; ///< 0 = unknown; a charset declared in the page replaces it
        int fileType = HTML;
        bool lazyload = false;
        bool collectNames = false;
        bool allowNoLinks = false; ///< keep an HTML page that fails the no-links pre-check
        bool checkImages = false;
        bool linkedFiles = false;
        bool searchMetaDataForURLs = false;
    };

    /// Caps on what one page can make the parser keep.
    static constexpr qsizetype kMaxRecords = 200000;
    static constexpr qsizetype kMaxUrlsPerRecord = 1000;
    static constexpr qsizetype kMaxMetaTags = 10000;
    static constexpr qsizetype kMaxWarnings = 10000;
    static constexpr qsizetype kMaxNames = 100000;
    static constexpr qsizetype kMaxHeadings = 10000;

    // ---- Construction -------------------------------------------------------------------------

    /// The designated initialiser. Returns nullptr for empty data, and for an HTML page without any
    /// "<a"/"<A" plus "href"/"HREF", "frameset"/"FRAMESET" or "<iframe"/"<IFRAME" unless
    /// `allowNoLinks`. Reads the five `parserContent…` text options from the defaults.
    static std::unique_ptr<CrwlParser> initWithData(QByteArray data, const Options& options);

    /// Takes `checkImages`, `linkedFiles` and `searchMetaDataForURLs` from the defaults
    /// (`checkImages` also when `enableImageSitemap` or `includeimagesinsitemap` is set);
    /// allowNoLinks is NO.
    static std::unique_ptr<CrwlParser> initWithData(QByteArray data, bool withSEO, bool checkNoIndex,
        EncodingId useEncoding, int fileType, bool lazyload, bool collectNames = false);

    /// Takes `checkImages` (through `getCheckImages`), `linkedFiles`, `searchMetaDataForURLs`,
    /// lazyload = `lookForLazyLoadImageURLs` and collectNames = NOT `shouldTrimHash` from the crawl
    /// settings; a missing key reads as NO.
    static std::unique_ptr<CrwlParser> initWithData(QByteArray data, bool withSEO, bool checkNoIndex,
        EncodingId useEncoding, int fileType, const QVariantMap& crawlSettings, bool allowNoLinks);

    /// The settings' `checkImages` when they hold one (YES or NO); else NO when `isSearch` is
    /// YES; else the defaults' `enableImageSitemap`, else `includeimagesinsitemap`.
    static bool getCheckImages(const QVariantMap& crawlSettings);

    /// Time-out of `initWithUrl`'s load.
    static constexpr double kLoadTimeoutSeconds = 60.0;
    /// initWithUrl: loads the page synchronously on the caller's thread (no cache, 60 s, the
    /// `userAgentString` default as User-Agent) and parses it with the defaults-based
    /// initialiser: withSEO YES, checkNoIndex NO, the encoding the response names (else UTF-8),
    /// fileType the `fileType` default (0 when absent), lazyload NO. nullptr, with no request at
    /// all, for a path extension DOC, MOV, WAV, MP3, ZIP, MPG, MP4 or PDF (any case); nullptr for a
    /// malformed URL, a failed or empty load, an HTTP response without a Content-Type or with one
    /// that does not hold "html", and whatever that initialiser refuses. Never on the network
    /// thread. With `allowNoLinks` a page without links is parsed too (for its text).
    static std::unique_ptr<CrwlParser> initWithUrl(const QString& url, bool allowNoLinks = false);

    CrwlParser(const CrwlParser&) = delete;
    CrwlParser& operator=(const CrwlParser&) = delete;
    virtual ~CrwlParser();

    // ---- Probes of raw page bytes ---------------------------------------------------------------

    /// The charset named before the first "body" (or "BODY"): the text behind "charset"/"CHARSET" up
    /// to the next ">", trimmed of space, "=", quotes, "/", tab, CR and LF. nullopt when none.
    static std::optional<QString> extractCharsetFromHTML(std::string_view data);
    /// The identifier for a declared charset, read by the one reader of charset labels
    /// (`TextEncoding::encodingForDeclaredCharset`): what follows the label is ignored; 0 when unknown.
    static EncodingId encodingForCharset(QStringView charset);
    /// The content value of a refresh meta tag of the head (not inside a comment or script), or
    /// nullopt. The answer is the whole value: delay, ";" and the URL part.
    static std::optional<QString> pageIsMetaRefresh(std::string_view data);
    /// True when `position` lies inside an HTML comment of `data`.
    static bool metaRefreshURLat(size_t position, std::string_view data);

    // ---- Page results ------------------------------------------------------------------------------

    QString getTitle() const { return metatitle; } ///< null when the scanner did not run
    QString getCanonical() const { return canonical; } ///< null when the scanner did not run
    QString getBaseHref() const { return codebase; } ///< null when no base href was captured
    const QStringList& getHeadings() const { return headingCollection; } ///< "\t" × (level − 1) + text
    const QVariantList& getMetaData() const { return metaTags; } ///< maps: content, name, itemprop, property
    bool getHeadContainsNoindex() const { return headContainsNoIndex; }
    bool getHeadContainsNofollow() const { return headContainsNoFollow; }
    qint64 getWordCount() const { return wordCount; }
    QString getTextContent() const; ///< never null
    qint64 getFileSize() const { return data.size(); }
    qint64 getLength() const { return l; }
    const QStringList& getWarnings() const { return warnings; }
    const QStringList& getNames() const { return names; }
    /// The files a script or link element loads over plain http ("http:…", any case) that were
    /// not collected as links because `linkedFiles` is off; at most `kMaxUrlsPerRecord`.
    const QStringList& getHttpLinkedFiles() const { return httpLinkedFiles; }
    QStringList getJsonld() const { return {}; } ///< JSON-LD is not collected
    int fileType() const { return m_fileType; }
    EncodingId encoding() const { return useEncoding; } ///< after the charset sniff
    /// The committed link records, in commit order.
    const QList<CrwlLinkRecord>& getCollection() const { return collection; }

    /// Number of pieces `text` splits into at white space (Unicode white space and newlines), empty
    /// pieces between adjacent white space included; 0 for an empty or null string.
    static qint64 countWords(const QString& text);

    // ---- Text checks of the page text (CrwlParserSpelling.cpp) -----------------------------------
    //
    // Every check runs on `getTextContent()` in the checker's current language, from
    // `spellingCursor` (0 for a new parser), which the spelling and grammar walks share: a count or
    // `getAllSpelling` leaves it at the end, so a walk starts with a "first" call. Ranges are in
    // UTF-16 units. One thread at a time, as for the rest of the parser; the checker is shared.

    using SpellRange = crawlmere::platform::SpellRange;
    using GrammarDetail = crawlmere::platform::GrammarDetail;

    /// Most grammar issues one count reports.
    static constexpr qint64 kMaxGrammarCount = 100;

    /// The checker of the text checks; null (the default) is `SpellChecker::shared()`. Not owned.
    void setSpellChecker(crawlmere::platform::SpellChecker* checker) { m_spellChecker = checker; }
    /// getSpellingCount: the misspelled words of the page that are no web addresses.
    qint64 getSpellingCount();
    /// getFirstSpelling: the first misspelled word that is no web address, or a not-found range.
    SpellRange getFirstSpelling();
    /// getNextSpelling: the next one after the cursor; the cursor moves past every word found.
    SpellRange getNextSpelling();
    /// spellingCursorBackTo: the cursor goes to the range's end; a not-found range leaves it.
    void spellingCursorBackTo(SpellRange range);
    qint64 getSpellingCursor() const { return spellingCursor; }
    /// getAllSpelling: the distinct misspelled words as the page writes them (case kept, so
    /// "Teh" and "teh" are two), in order of first occurrence.
    QStringList getAllSpelling();
    /// getGrammarCount: the grammar issues, at most `kMaxGrammarCount`. When the checker throws,
    /// the count so far (logged at verbosity 1).
    qint64 getGrammarCount();
    /// getFirstGrammar / getNextGrammar: the next grammar issue, keeping its details in
    /// `getGrammarDetails()` (nothing when the checker gave none). An exception of the checker
    /// passes through.
    SpellRange getFirstGrammar();
    SpellRange getNextGrammar();
    const std::optional<QList<GrammarDetail>>& getGrammarDetails() const { return grammarDetails; }
    /// isWebAddress: YES for a word holding "://" or "." or both ":" and ";" or a character below
    /// U+0020, for one with two "-" or more, and for one in which more than half the characters are
    /// at U+0080 or above. NO for the empty word.
    static bool isWebAddress(const QString& word);
    /// isKeywordStuffed: YES when one word of four letters or more (stop words aside, case
    /// folded) occurs again after occurring more often than `maxKeywordDensity` per cent of the
    /// page's words (4.0 when the default is absent). Words split at white space and ".,|()*&%/".
    bool isKeywordStuffed() const;

    // ---- Link iteration -------------------------------------------------------------------------

    /// The next URL, or nullopt when there are no more. HTML pages hand out the URLs of their link
    /// records in order (a record with several URLs hands out each); URL lists and sitemaps read
    /// the next URL from the page bytes, so a second walk needs a new parser. After each URL the
    /// getters below answer about the record it came from.
    /// The link extractors of other file types override this and `getLinkText`.
    virtual std::optional<QString> getNextHref();
    /// Link text, else "[alt]: " + alt text, else "". Empty outside an HTML page's records.
    virtual QString getLinkText() const;
    QString getRel() const;
    QString getTypeAttribute() const;
    QString getHreflang() const;
    QString getTargetAttr() const;
    /// Line of the record's href; nullopt outside a record or when it has none.
    std::optional<int> getLineNumber() const;

    /// URL lists: the next token (separated by white space, and "," for fileType 2); lines whose
    /// first visible byte is "#" are comments. Quotes trimmed, references decoded, " " -> "%20".
    std::optional<QString> getNextHttp();
    /// Sitemaps and sitemap indexes: the text of the next <loc> element outside comments.
    std::optional<QString> getNextXml();
    /// The next tag of the page bytes (or the rest of the current one when `insideTag`); nullopt at
    /// the end of the data or when the tag cannot be decoded.
    std::optional<CrwlXmlTag> getTag(bool insideTag);
    /// The text from the current byte to the next "<" (at most 1498 bytes), decoded, trimmed and
    /// with references decoded; a CDATA section is taken verbatim. nullopt at the end of the data.
    std::optional<QString> getLoc();
    /// Moves to the first byte of the next tag's name, passing over comments; false at the end.
    bool moveIntoNextTag();

    /// Switches to sitemap reading (fileType 4).
    void setXMLMode() { m_fileType = XMLSitemap; }
    /// Keeps a warning when the `htmlValidationEnabled` default is YES and the file type is HTML.
    void addWarning(const QString& warning);
    void addWarnings(const QStringList& list);

    // ---- Text routines shared with the other parsers --------------------------------------------

    /// Decodes a byte run (in `encoding`, else UTF-8, ISO 8859-1, UTF-16, ASCII), decodes character
    /// references, then with `returnsAreSeparators` turns CR, LF and tab into spaces and folds runs
    /// of spaces, without it removes CR and LF; trims both ends. Never null. With `wasCut` (the run
    /// was cut at a buffer limit) a multi-byte character split by the cut is dropped instead of
    /// making the decoding fall back to another encoding.
    static QString unescapedStringFromBuffer(
        std::string_view bytes, EncodingId encoding, bool returnsAreSeparators = false, bool wasCut = false);
    /// `text` with character references decoded, or `text` itself when it holds no "&".
    static QString unescapeEntities(const QString& text);
    /// Decodes "&name;", "&#ddd;" and "&#xhh;" (references of 4 to 33 characters, numbers 1-65534
    /// other than surrogates); anything else stays as written. A decoded "&amp;" never starts a new
    /// reference.
    static QString gtm_stringByUnescapingFromHTML(const QString& text);
    /// Removes the run of `character` at the end of `buffer`, then the run at its start.
    static void trimThisCharacter(char character, std::string& buffer);
    static void trimThisCharacter(char character, QString& text);
    /// The URLs of a srcset value, each once, in order; empty for a value holding "data:image".
    static QStringList splitSrcsFromSrcset(const QString& srcset);
    static bool arrayContainsString(const QStringList& array, const QString& string)
    {
        return array.contains(string);
    }
    /// The url(...) references of style text, without quotes; nullopt when none is kept.
    static std::optional<QStringList> extractURLsFromInlineStyles(const QString& style);
    /// Start and length of the text between the first "url(" (any case) at or after `from` and the
    /// next ")"; start is -1 when there is none.
    static std::pair<qsizetype, qsizetype> firstURLOccurrenceInStyleSheetSource(const QString& text, qsizetype from);

    // ---- Scanner state read by the scanner phases ------------------------------------------------

    /// Reads the byte at `counter` into `aBuffer` (keeping the old one in `previousaBuffer`) and
    /// advances; false at the end of the data.
    bool getNextByte()
    {
        if (counter >= l)
            return false;
        previousaBuffer = aBuffer;
        aBuffer = static_cast<uint8_t>(bytes[static_cast<size_t>(counter)]);
        ++counter;
        return true;
    }
    /// Called just after a "<" was read: the three bytes at `counter` are "!--".
    bool openingBracketBeginsAComment() const;
    /// "canonical" (any case) occurs between `counter` and the next ">" (or the end).
    bool currentTagContainsCanonical() const;
    int getCurrentLineNumber() const { return currentLine(); }

protected:
    /// For the link extractors of other file types: a parser with no page until `setPageData`.
    CrwlParser() = default;
    /// Keeps `pageData` (shared, not copied) as the parser's bytes; runs no scanner.
    void setPageData(const QByteArray& pageData);

private:

    // Decoding of byte runs (CrwlParserText.cpp).
    static std::optional<QString> decodeWithFallbacks(std::string_view run, EncodingId encoding, bool wasCut);
    /// With separators CR, LF and tab become spaces and runs of spaces fold into one; without, CR
    /// and LF are removed.
    static void foldSeparators(QString& text, bool returnsAreSeparators);
    /// The page text from bytes already folded to single spaces.
    static QString pageTextFromFoldedBuffer(std::string_view run, EncodingId encoding);

    // Frame (CrwlParserFrame.cpp).
    void bigKahunaPass();
    /// The line of the byte before `counter` (1 at the start): lines are counted when asked for,
    /// from where the last count stopped.
    int currentLine() const;
    void rewindTo(qint64 position);
    QString stringFromBuffer(const crawlmere::parsing::detail::CaptureBuffer& buffer, bool returnsAreSeparators = false) const;

    // Phases.
    class HeadScan; // the head phase's state machine (CrwlParserHead.cpp)
    void headPhase(crawlmere::parsing::detail::ScanBuffers& buffers); // CrwlParserHead.cpp
    void bodyPhase(crawlmere::parsing::detail::ScanBuffers& buffers); // CrwlParserBody.cpp
    void finishPage(crawlmere::parsing::detail::BodyState& state); // CrwlParserWarnings.cpp

    // Body phase pieces (CrwlParserBody.cpp, CrwlParserBodyTags.cpp, CrwlParserWarnings.cpp).
    void advanceTo(qint64 position);
    void scanText(crawlmere::parsing::detail::BodyState& state);
    /// Takes the text from `counter` up to `end` and stands behind it.
    void takeTextRun(crawlmere::parsing::detail::BodyState& state, qint64 end);
    void scanRawText(crawlmere::parsing::detail::BodyState& state);
    void scanComment(crawlmere::parsing::detail::BodyState& state);
    void scanScriptContent(crawlmere::parsing::detail::BodyState& state);
    void scanStyleContent(crawlmere::parsing::detail::BodyState& state);
    void scanTag(crawlmere::parsing::detail::BodyState& state, bool continuesBodyTag = false);
    void readAttributes(crawlmere::parsing::detail::BodyState& state, const crawlmere::parsing::detail::TagSpan& tag);
    void openTag(crawlmere::parsing::detail::BodyState& state, const crawlmere::parsing::detail::TagSpan& tag);
    void closeTag(crawlmere::parsing::detail::BodyState& state, const crawlmere::parsing::detail::TagSpan& tag);
    class TagAttributeReader; // what a body tag does with each attribute (CrwlParserBodyTags.cpp)
    void tagAttribute(crawlmere::parsing::detail::BodyState& state, const crawlmere::parsing::detail::TagSpan& tag,
        const crawlmere::parsing::detail::AttributeSpan& attribute);
    void endOfTag(crawlmere::parsing::detail::BodyState& state, const crawlmere::parsing::detail::TagSpan& tag);
    void closeLink(crawlmere::parsing::detail::BodyState& state);
    void imageComplete(crawlmere::parsing::detail::BodyState& state);
    void blockWithinInline(crawlmere::parsing::detail::BodyState& state, const char* tagWord);
    void addSeparateRecord(const QString& url, const QString& linkText);
    void appendPageText(crawlmere::parsing::detail::BodyState& state, uint8_t byte);
    void appendTagSpace(crawlmere::parsing::detail::BodyState& state);
    void endOfPageWarnings(crawlmere::parsing::detail::BodyState& state);
    QString decodeSpan(std::string_view span, size_t limit, bool returnsAreSeparators = false) const;

    // Link-record builders (CrwlParserRecords.cpp).
    void addURLToCollection(const QString& url);
    void addURLsToCollection(const QStringList& urls);
    void addLinkTextToCollection(const QString& text);
    void addRelToCollection(const QString& rel);
    void addTypeToCollection(const QString& type);
    void addHreflangToCollection(const QString& hreflang);
    void addTargetToCollection(const QString& target);
    void addAltTextToCollection(const QString& alt);
    void addLinkedFileToCollection(const QString& url);
    void addMetaTagURLoCollection(const QString& url, const QString& name);
    void addFormActionToCollection(const QString& url);
    void addAudioVideoToCollection(const QStringList& urls);
    void addcachedPictureSourcesToCollection(const QStringList& urls);
    void addNameToCollection(const QString& name);
    void addHeadingToCollection(const QString& heading, int level);
    void underlineData();
    void underlineURLsWithinArea();
    void underlineImageWithinAHrefLink();
    void appendUrls(const QStringList& urls);

    // The page. `bytes` views the bytes owned by `data`.
    QByteArray data;
    std::string_view bytes;
    qint64 l = 0;

    // Scanner state.
    bool isScriptOrComment = false;
    qint64 lastTagPassed = 0;
    qint64 counter = 0;
    qint64 endHead = 0;
    uint8_t aBuffer = 0;
    uint8_t previousaBuffer = 0;
    // Lazy line count: `countedLine` is the line at offset `linesCountedTo`.
    mutable int countedLine = 1;
    mutable qint64 linesCountedTo = 0;

    // Page facts.
    QString metatitle;
    QString canonical;
    QString codebase;
    QString textContent;
    QVariantList metaTags;
    bool headContainsNoIndex = false;
    bool headContainsNoFollow = false;
    QStringList headingCollection;
    QStringList warnings;
    QStringList names;
    QStringList httpLinkedFiles;
    qint64 wordCount = 0;
    qint64 characterCount = 0;

    // Options.
    int m_fileType = HTML;
    bool lazyload = false;
    bool linkedFiles = false;
    bool seoOn = false;
    bool collectNames = false;
    bool checkImages = false;
    bool searchMetaDataForURLs = false;
    EncodingId useEncoding = 0;
    bool parserContentConsolidateWhitespace = false;
    bool parserContentOnlyParas = false;
    bool parserContentIncludeAltText = false;
    bool parserContentIgnoreNav = false;
    bool parserContentIgnoreHeader = false;

    // What the head phase saw, for the body phase and the end-of-page checks.
    bool m_doctypeSeen = false;
    bool m_htmlTagSeen = false;
    bool m_headEndSeen = false; ///< a "</head" tag
    bool m_bodyTagSeen = false; ///< the head phase ended at "<body"

    // Link records.
    QList<CrwlLinkRecord> collection;
    CrwlLinkRecord currentDictionary;

    // Link iteration: index of the current record and of the next URL within it.
    int cursor = 0;
    int subCursor = 0;
    const CrwlLinkRecord* currentRecord() const;
    std::optional<bool> m_keepHrefsAsWritten; ///< the `trimWhitespace` default, read at the first URL

    // Text checks.
    crawlmere::platform::SpellChecker& spellChecker() const;
    SpellRange checkSpellingFromCursor();
    crawlmere::platform::SpellChecker* m_spellChecker = nullptr;
    qint64 spellingCursor = 0;
    std::optional<QList<GrammarDetail>> grammarDetails;
};
