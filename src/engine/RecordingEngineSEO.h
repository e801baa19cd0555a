// The crawl-time SEO register a scan uses until the reports provide theirs: it records the pages
// handed in, their duplicate keys and the misspelled words, and counts nothing.
#pragma once

#include "engine/EngineSEOService.h"

#include <QHash>
#include <QString>

#include <memory>
#include <optional>

/// Keeps, per scan:
/// - the pages accepted by `add`, in order;
/// - the duplicate table: final URL with its fragment cut (`CrwlUrl::forceTrimHash`) → page;
/// - the misspelled-word table.
/// It keeps no tallies and builds no groups: the summaries have no tally lines and the group
/// getters answer empty groups. Main thread only.
class RecordingEngineSEO final : public EngineSEOService {
public:
    /// Caps on what one scan can make this register hold; past them a hand-in is dropped and
    /// logged once.
    static constexpr qsizetype maximumPages = 10'000'000;
    static constexpr qsizetype maximumMisspelledWords = 200'000;
    static constexpr qsizetype maximumPagesPerWord = 100'000;

    RecordingEngineSEO() = default;
    ~RecordingEngineSEO() override;

    void clear() override;
    void add(const std::shared_ptr<CrwlUrl>& page) override;
    void addWords(const QStringList& words, const std::shared_ptr<CrwlUrl>& page) override;
    bool duplicateCheck(const CrwlUrl& page) const override;

    /// Empty: this register builds no groups.
    CrwlUrlGroups getDuplicates() override { return {}; }
    CrwlUrlGroups getDuplicateTitles() override { return {}; }
    CrwlUrlGroups getDuplicateDescriptions() override { return {}; }

    /// "": no tallies are kept, so no tally line is written.
    QString getShortSummary() const override;
    /// The header line "count,test\n" alone.
    QString getShortSummaryAsCSV() const override;

    /// Always empty: images are not collected here.
    const CrwlUrlList& getImageCollection() const override { return imageCollection; }
    const MisspelledWordDictionary* getMisspelledWordDictionary() const override;
    const CrwlUrlList& internalPagesCollection() const override { return collection; }

    /// The duplicate-table key of a page: its final URL with the fragment cut.
    static QString duplicateKey(const CrwlUrl& page);

private:
    CrwlUrlList collection;
    QHash<QString, std::shared_ptr<CrwlUrl>> duplicateDict;
    std::optional<MisspelledWordDictionary> misspelledWordDictionary;
    CrwlUrlList imageCollection;
    bool pageCapLogged = false;
    bool wordCapLogged = false;
};
