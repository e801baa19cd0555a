// Records the pages, duplicate keys and misspelled words of a scan without counting anything.
#include "engine/RecordingEngineSEO.h"

#include "engine/CrwlUrl.h"
#include "platform/Log.h"

using crawlmere::platform::logLine;

RecordingEngineSEO::~RecordingEngineSEO() = default;

QString RecordingEngineSEO::duplicateKey(const CrwlUrl& page) { return CrwlUrl::forceTrimHash(page.finalURLString()); }

void RecordingEngineSEO::clear()
{
    logLine(2, QStringLiteral("SEOManager clear"));
    collection.clear();
    duplicateDict.clear();
    misspelledWordDictionary.reset();
    imageCollection.clear();
    pageCapLogged = false;
    wordCapLogged = false;
}

void RecordingEngineSEO::add(const std::shared_ptr<CrwlUrl>& page)
{
    if (!page)
        return;
    logLine(3, QStringLiteral("adding %1 to seoManager").arg(page->finalURLString()));
    if (duplicateCheck(*page))
        return;
    if (std::ssize(collection) >= maximumPages) {
        if (!pageCapLogged)
            logLine(1, QStringLiteral("SEO page collection is full (%1 pages)").arg(maximumPages));
        pageCapLogged = true;
        return;
    }
    if (duplicateDict.isEmpty())
        duplicateDict.reserve(100);
    collection.push_back(page);
    duplicateDict.insert(duplicateKey(*page), page);
}

void RecordingEngineSEO::addWords(const QStringList& words, const std::shared_ptr<CrwlUrl>& page)
{
    if (!page)
        return;
    if (!misspelledWordDictionary)
        misspelledWordDictionary.emplace();
    for (const QString& word : words) {
        const QString key = word.toLower();
        auto it = misspelledWordDictionary->find(key);
        if (it == misspelledWordDictionary->end()) {
            if (std::ssize(*misspelledWordDictionary) >= maximumMisspelledWords) {
                if (!wordCapLogged)
                    logLine(1, QStringLiteral("misspelled-word table is full (%1 words)").arg(maximumMisspelledWords));
                wordCapLogged = true;
                continue;
            }
            misspelledWordDictionary->emplace(key, CrwlUrlList { page });
            continue;
        }
        if (std::ssize(it->second) < maximumPagesPerWord)
            it->second.push_back(page);
    }
}

bool RecordingEngineSEO::duplicateCheck(const CrwlUrl& page) const
{
    return duplicateDict.contains(duplicateKey(page));
}

QString RecordingEngineSEO::getShortSummary() const { return QString(); }

QString RecordingEngineSEO::getShortSummaryAsCSV() const { return QStringLiteral("count,test\n"); }

const EngineSEOService::MisspelledWordDictionary* RecordingEngineSEO::getMisspelledWordDictionary() const
{
    return misspelledWordDictionary ? &*misspelledWordDictionary : nullptr;
}
