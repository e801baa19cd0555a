// The crawl's page register for reports: the pages a scan hands in, their SEO tallies against the
// thresholds of the defaults store, the possible-duplicate, title and description groups, the
// summaries and the misspelled-word table.
#pragma once

#include "engine/EngineSEOService.h"

#include <QHash>
#include <QString>

#include <memory>
#include <optional>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::reports {

/// One instance lives for the whole run; the hub reaches it as its `engineSEODataSource` and the
/// shell as `engineSEOManager`. The hub calls `clear` at every Go, `add` for each page that
/// passes its sitemap-collection test, `addWords` with a page's misspelled words and
/// `duplicateCheck` before following a page.
///
/// A page is recorded once per final URL with its fragment cut (`CrwlUrl::forceTrimHash`);
/// the redirect-chain tally (4 hops or more) counts every hand-over, recorded or not. The other
/// tallies move only while `SEOEnabled` is on and the page is HTML. Thresholds are read from
/// the defaults store at every `add` (text that is no number reads 0); lengths are UTF-16 units
/// compared unsigned, so a negative threshold is larger than every length; counts compare signed.
///
/// The groups are built on request and dropped by every accepted `add` and by `clear`, and
/// `groupsGeneration` changes with them, so a page's cached lists of duplicates follow.
/// Growth is capped (pages, words, pages per word); past a cap a hand-in is dropped and logged
/// once per scan.
///
/// Threads: main thread only, no locks. The defaults store must outlive the manager.
class EngineSEOManager final : public EngineSEOService {
public:
    static constexpr qsizetype maximumPages = 10'000'000;
    static constexpr qsizetype maximumMisspelledWords = 200'000;
    static constexpr qsizetype maximumPagesPerWord = 100'000;

    /// The counters; all 0 after construction and `clear`.
    struct Tallies {
        qint32 notitle = 0;
        qint32 titlelength = 0;
        qint32 nodesc = 0;
        qint32 metadesclength = 0;
        qint32 toomanylinks = 0;
        qint32 keywordstuffed = 0;
        qint32 thincontent = 0;
        qint32 pagesExcludedNoIndex = 0;
        qint32 pagesWithoutH1 = 0;
        qint32 pagesWithMultipleH1 = 0;
        qint32 redirectchain = 0;
        // Kept for the summaries' lines; no scan raises them except through `incMixedContent`.
        qint32 possibleDuplicates = 0;
        qint32 duplicateTitles = 0;
        qint32 duplicateDescriptions = 0;
        qint32 mixedContent = 0;
        qint32 imagesWithNoAltText = 0;

        bool operator==(const Tallies&) const = default;
    };

    /// Uses the standard defaults store.
    EngineSEOManager();
    explicit EngineSEOManager(platform::UserDefaults& defaults);
    ~EngineSEOManager() override;

    /// Empties the pages, the duplicate table, the groups and the misspelled words and sets every
    /// tally to 0; logs "SEOManager clear" at verbosity 2.
    void clear() override;
    void remove(const CrwlUrl& page) override;
    /// Records and counts a page (see the class comment); a null page is ignored.
    void add(const std::shared_ptr<CrwlUrl>& page) override;
    /// Files the page under each word's lower-case form; a page is listed once per word even
    /// when its list holds the word in several cases. A null page is ignored.
    void addWords(const QStringList& words, const std::shared_ptr<CrwlUrl>& page) override;
    bool duplicateCheck(const CrwlUrl& page) const override;

    /// Page title ("" for none) → the pages whose canonical matches their URL, kept when at least
    /// two of them have the same byte size (a missing size is 0); all the group's pages stay.
    const CrwlUrlGroups& getDuplicates() override;
    /// Non-empty title (description) → the pages whose canonical matches their URL; groups of one
    /// page stay. Pages stand in collection order; keys compare exactly.
    const CrwlUrlGroups& getDuplicateTitles() override;
    const CrwlUrlGroups& getDuplicateDescriptions() override;
    quint64 groupsGeneration() const override { return generation; }

    /// The tallies as text lines, one per tally above 0, plus the keyword-density and image lines.
    QString getShortSummary() const override;
    /// "count,test\n" and one "%i,%@\n" line per tally above 0.
    QString getShortSummaryAsCSV() const override;

    /// Always empty: the register keeps no list of images.
    const CrwlUrlList& getImageCollection() const override { return imageCollection; }
    const MisspelledWordDictionary* getMisspelledWordDictionary() const override;
    const CrwlUrlList& internalPagesCollection() const override { return collection; }

    qint64 getTotalPageCount() const { return qint64(collection.size()); }
    /// Whether this very page object is recorded.
    bool isInEngineSEOManagersCollection(const CrwlUrl& page) const;
    /// Raises the mixed-content tally by one.
    void incMixedContent() { ++tallies.mixedContent; }
    const Tallies& getTallies() const { return tallies; }

private:
    static QString duplicateKey(const CrwlUrl& page);
    QString summary(bool asCSV) const;
    void countFindings(CrwlUrl& page);
    void dropGroups();

    platform::UserDefaults& defaults;
    CrwlUrlList collection;
    QHash<QString, std::shared_ptr<CrwlUrl>> duplicateDict;
    std::optional<CrwlUrlGroups> duplicates;
    std::optional<CrwlUrlGroups> duplicateTitles;
    std::optional<CrwlUrlGroups> duplicateDescriptions;
    std::optional<MisspelledWordDictionary> misspelledWordDictionary;
    const CrwlUrlList imageCollection;
    Tallies tallies;
    quint64 generation = 0;
    bool pageCapLogged = false;
    bool wordCapLogged = false;
};

} // namespace crawlmere::reports
