// A crawl-time SEO register for tests of the engine and the parsers: it records the pages handed
// in, their duplicate keys and the misspelled words, and counts nothing.
#pragma once

#include "engine/CrwlUrl.h"
#include "engine/EngineSEOService.h"

#include <QHash>
#include <algorithm>
#include <QString>

#include <memory>
#include <optional>

namespace crawlmere::test {

/// Keeps the pages accepted by `add` once per final URL without fragment, in order, and the
/// misspelled-word table; builds no groups and writes no tally lines. Main thread only.
class RecordingEngineSEO final : public EngineSEOService {
public:
    void clear() override
    {
        collection.clear();
        duplicateDict.clear();
        misspelledWordDictionary.reset();
        ++generation;
    }
    void add(const std::shared_ptr<CrwlUrl>& page) override
    {
        if (!page || duplicateDict.contains(CrwlUrl::forceTrimHash(page->finalURLString())))
            return;
        collection.push_back(page);
        duplicateDict.insert(CrwlUrl::forceTrimHash(page->finalURLString()), page);
        ++generation;
    }
    void remove(const CrwlUrl& page) override
    {
        const auto found = std::ranges::find(collection, &page, &std::shared_ptr<CrwlUrl>::get);
        if (found == collection.end())
            return;
        duplicateDict.remove(CrwlUrl::forceTrimHash(page.finalURLString()));
        collection.erase(found);
        ++generation;
    }
    void addWords(const QStringList& words, const std::shared_ptr<CrwlUrl>& page) override
    {
        if (!page)
            return;
        if (!misspelledWordDictionary)
            misspelledWordDictionary.emplace();
        for (const QString& word : words)
            (*misspelledWordDictionary)[word.toLower()].push_back(page);
    }
    bool duplicateCheck(const CrwlUrl& page) const override
    {
        const auto it = duplicateDict.constFind(CrwlUrl::forceTrimHash(page.finalURLString()));
        return it != duplicateDict.cend() && it.value().get() != &page;
    }
    const CrwlUrlGroups& getDuplicates() override { return noGroups; }
    const CrwlUrlGroups& getDuplicateTitles() override { return noGroups; }
    const CrwlUrlGroups& getDuplicateDescriptions() override { return noGroups; }
    quint64 groupsGeneration() const override { return generation; }
    QString getShortSummary() const override { return QString(); }
    QString getShortSummaryAsCSV() const override { return QStringLiteral("count,test\n"); }
    const CrwlUrlList& getImageCollection() const override { return noPages; }
    const MisspelledWordDictionary* getMisspelledWordDictionary() const override
    {
        return misspelledWordDictionary ? &*misspelledWordDictionary : nullptr;
    }
    const CrwlUrlList& internalPagesCollection() const override { return collection; }

private:
    CrwlUrlList collection;
    QHash<QString, std::shared_ptr<CrwlUrl>> duplicateDict;
    std::optional<MisspelledWordDictionary> misspelledWordDictionary;
    const CrwlUrlGroups noGroups;
    const CrwlUrlList noPages;
    quint64 generation = 0;
};

} // namespace crawlmere::test
