// Records a scan's qualifying pages, counts their SEO findings and groups them for the reports.
#include "reports/EngineSEOManager.h"

#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlUrl.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <unordered_set>

using crawlmere::platform::logLine;
using crawlmere::platform::UserDefaults;

namespace crawlmere::reports {

namespace {

// Lengths compare as unsigned counts, as the thresholds have always been compared: a negative
// threshold converts to a huge count.
bool longerThan(const QString& text, qint64 threshold) { return quint64(text.size()) > quint64(threshold); }
bool shorterThan(const QString& text, qint64 threshold) { return quint64(text.size()) < quint64(threshold); }

// Groups the pages whose canonical matches their URL by a text; pages with an empty text are
// left out when `skipEmpty`.
CrwlUrlGroups groupedBy(const CrwlUrlList& pages, QString (CrwlUrl::*text)() const, bool skipEmpty)
{
    CrwlUrlGroups groups;
    for (const auto& page : pages) {
        const QString key = ((*page).*text)();
        if (skipEmpty && key.isEmpty())
            continue;
        if (!page->canonicalMatchesUrl())
            continue;
        groups[key].push_back(page);
    }
    return groups;
}

// Two distinct pages of the group have the same byte size: one pass with a set of sizes.
bool holdsTwoOfOneSize(const CrwlUrlList& group)
{
    std::unordered_set<qint64> sizes;
    sizes.reserve(group.size());
    for (const auto& page : group) {
        if (!sizes.insert(page->getFilesizeinbytes()).second)
            return true;
    }
    return false;
}

void appendLine(QString& text, qint32 tally, const QString& format, const QString& label)
{
    if (tally > 0)
        text += format.arg(QString::number(tally), label);
}

} // namespace

EngineSEOManager::EngineSEOManager()
    : EngineSEOManager(UserDefaults::standard())
{
}

EngineSEOManager::EngineSEOManager(UserDefaults& store)
    : defaults(store)
{
}

EngineSEOManager::~EngineSEOManager() = default;

QString EngineSEOManager::duplicateKey(const CrwlUrl& page) { return CrwlUrl::forceTrimHash(page.finalURLString()); }

void EngineSEOManager::dropGroups()
{
    duplicates.reset();
    duplicateTitles.reset();
    duplicateDescriptions.reset();
    ++generation;
}

void EngineSEOManager::clear()
{
    logLine(2, QStringLiteral("SEOManager clear"));
    collection = CrwlUrlList();
    duplicateDict = QHash<QString, std::shared_ptr<CrwlUrl>>();
    misspelledWordDictionary.reset();
    dropGroups();
    tallies = Tallies();
    pageCapLogged = false;
    wordCapLogged = false;
}

void EngineSEOManager::add(const std::shared_ptr<CrwlUrl>& page)
{
    if (!page)
        return;
    if (platform::verbosity() >= 3)
        logLine(3, QStringLiteral("adding %1 to seoManager").arg(page->finalURLString()));
    if (page->getRedirectCount() >= 4)
        ++tallies.redirectchain;
    QString key = duplicateKey(*page);
    if (duplicateDict.contains(key))
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
    duplicateDict.insert(std::move(key), page);
    dropGroups();
    if (defaults.value(defaultsKey::SEOEnabled) && page->isHTML())
        countFindings(*page);
}

void EngineSEOManager::remove(const CrwlUrl& page)
{
    const auto found = std::ranges::find(collection, &page, &std::shared_ptr<CrwlUrl>::get);
    if (found == collection.end())
        return;
    const QString key = duplicateKey(page);
    if (duplicateDict.value(key) == *found)
        duplicateDict.remove(key);
    collection.erase(found);
    dropGroups();
}

void EngineSEOManager::countFindings(CrwlUrl& page)
{
    const QString title = page.getLinkpagetitle();
    if (title.isEmpty())
        ++tallies.notitle;
    else if (longerThan(title, defaults.value(defaultsKey::metaTitleMax)))
        ++tallies.titlelength;

    const QString description = page.getMetadescription();
    if (description.isEmpty())
        ++tallies.nodesc;
    else if (longerThan(description, defaults.value(defaultsKey::metaDescriptionMax))
        || shorterThan(description, defaults.value(defaultsKey::metaDescriptionMin)))
        ++tallies.metadesclength;

    if (page.getLinkcount() > defaults.value(defaultsKey::tooManyLinks))
        ++tallies.toomanylinks;
    if (page.isKeywordStuffed())
        ++tallies.keywordstuffed;
    if (page.getWordcount() < defaults.value(defaultsKey::maxThinContent))
        ++tallies.thincontent;
    if (page.headContainsNoIndex())
        ++tallies.pagesExcludedNoIndex;
    const qint64 h1s = page.h1Count();
    if (h1s == 0)
        ++tallies.pagesWithoutH1;
    else if (h1s >= 2)
        ++tallies.pagesWithMultipleH1;
}

void EngineSEOManager::addWords(const QStringList& words, const std::shared_ptr<CrwlUrl>& page)
{
    if (!page)
        return;
    if (!misspelledWordDictionary)
        misspelledWordDictionary.emplace();
    for (const QString& word : words) {
        QString key = word.toLower();
        auto it = misspelledWordDictionary->find(key);
        if (it == misspelledWordDictionary->end()) {
            if (std::ssize(*misspelledWordDictionary) >= maximumMisspelledWords) {
                if (!wordCapLogged)
                    logLine(1, QStringLiteral("misspelled-word table is full (%1 words)").arg(maximumMisspelledWords));
                wordCapLogged = true;
                continue;
            }
            misspelledWordDictionary->emplace(std::move(key), CrwlUrlList { page });
            continue;
        }
        // Pages are handed in one at a time, so this page can only be the list's last element.
        if (it->second.back() == page)
            continue;
        if (std::ssize(it->second) < maximumPagesPerWord)
            it->second.push_back(page);
    }
}

bool EngineSEOManager::duplicateCheck(const CrwlUrl& page) const
{
    const auto it = duplicateDict.constFind(duplicateKey(page));
    return it != duplicateDict.cend() && it.value().get() != &page;
}

const CrwlUrlGroups& EngineSEOManager::getDuplicates()
{
    if (!duplicates) {
        CrwlUrlGroups groups = groupedBy(collection, &CrwlUrl::getLinkpagetitle, /*skipEmpty=*/false);
        std::erase_if(groups, [](const auto& entry) { return entry.second.size() < 2 || !holdsTwoOfOneSize(entry.second); });
        duplicates = std::move(groups);
    }
    return *duplicates;
}

const CrwlUrlGroups& EngineSEOManager::getDuplicateTitles()
{
    if (!duplicateTitles)
        duplicateTitles = groupedBy(collection, &CrwlUrl::getLinkpagetitle, /*skipEmpty=*/true);
    return *duplicateTitles;
}

const CrwlUrlGroups& EngineSEOManager::getDuplicateDescriptions()
{
    if (!duplicateDescriptions)
        duplicateDescriptions = groupedBy(collection, &CrwlUrl::getMetadescription, /*skipEmpty=*/true);
    return *duplicateDescriptions;
}

QString EngineSEOManager::getShortSummary() const { return summary(/*asCSV=*/false); }

QString EngineSEOManager::getShortSummaryAsCSV() const { return QStringLiteral("count,test\n") + summary(/*asCSV=*/true); }

// Both summaries list the tallies in one order; the text adds the keyword-density and
// "not checked" lines, and writes the mixed-content count with a comma.
QString EngineSEOManager::summary(bool asCSV) const
{
    const QString plain = asCSV ? QStringLiteral("%1,%2\n") : QStringLiteral("%1 %2\n");
    const bool checkImages = defaults.boolForKey(crawlKey::checkImages);
    QString text;
    appendLine(text, tallies.notitle, plain, QStringLiteral("pages without title"));
    appendLine(text, tallies.nodesc, plain, QStringLiteral("pages without description"));
    appendLine(text, tallies.titlelength, plain, QStringLiteral("pages with long title"));
    appendLine(text, tallies.metadesclength, plain, QStringLiteral("pages with long or short description"));
    if (!asCSV && !defaults.value(defaultsKey::countKeywords))
        text += QStringLiteral("keyword density not checked\n");
    else if (!asCSV)
        appendLine(text, tallies.keywordstuffed, plain, QStringLiteral("pages with high keyword density"));
    appendLine(text, tallies.thincontent, plain, QStringLiteral("pages with thin content"));
    appendLine(text, tallies.toomanylinks, plain,
        QStringLiteral("pages with more than %1 links").arg(defaults.value(defaultsKey::tooManyLinks)));
    appendLine(text, tallies.possibleDuplicates, plain, QStringLiteral("pages with possible duplicates"));
    appendLine(text, tallies.duplicateTitles, plain, QStringLiteral("pages with duplicate titles"));
    appendLine(text, tallies.duplicateDescriptions, plain, QStringLiteral("pages with duplicate descriptions"));
    appendLine(text, tallies.mixedContent, asCSV ? plain : QStringLiteral("%1, %2\n"), QStringLiteral("pages with mixed content"));
    if (checkImages)
        appendLine(text, tallies.imagesWithNoAltText, plain, QStringLiteral("images with no alt text"));
    else if (!asCSV)
        text += QStringLiteral("images not checked\n");
    appendLine(text, tallies.pagesExcludedNoIndex, plain, QStringLiteral("pages with robots noindex"));
    appendLine(text, tallies.redirectchain, plain, QStringLiteral("pages with redirect chain"));
    appendLine(text, tallies.pagesWithMultipleH1, plain, QStringLiteral("Pages with multiple h1"));
    appendLine(text, tallies.pagesWithoutH1, plain, QStringLiteral("Pages with no h1"));
    return text;
}

const EngineSEOService::MisspelledWordDictionary* EngineSEOManager::getMisspelledWordDictionary() const
{
    return misspelledWordDictionary ? &*misspelledWordDictionary : nullptr;
}

bool EngineSEOManager::isInEngineSEOManagersCollection(const CrwlUrl& page) const
{
    return std::any_of(collection.begin(), collection.end(), [&page](const auto& p) { return p.get() == &page; });
}

} // namespace crawlmere::reports
