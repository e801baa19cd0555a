// The crawl coordinator's services to the rest of the system: the soft-404 test of fetched
// pages, the request diagnosis forwarders, and the read-only views of the scan with the SEO and
// duplicate queries it passes on to the crawl-time SEO register.
#include "engine/Z12Ara.h"

#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlTermsMatcher.h"
#include "engine/CrwlUrl.h"
#include "engine/EngineSEOService.h"
#include "engine/HubPageReader.h"
#include "engine/ShellServices.h"
#include "platform/Dispatch.h"
#include "platform/Strings.h"
#include "platform/UserDefaults.h"

#include <QRegularExpression>

using crawlmere::platform::Dispatch::toMain;

// ===== Soft 404 =============================================================================

bool Z12Ara::shouldPerformSoft404CheckOn(const CrwlUrl& record) const
{
    if (!defaults->boolForKey(crawlKey::shouldCheckForSoft404))
        return false;
    switch (defaults->value(defaultsKey::soft404Scope)) {
    case 0:
        return record.isInternal();
    case 1:
        return !record.isInternal();
    case 2:
        return true;
    default:
        return false;
    }
}

QStringList Z12Ara::getSoft404Array() const
{
    std::lock_guard lock(soft404Lock);
    return soft404Array;
}

bool Z12Ara::performSoft404CheckOnThisUrl(const UrlPtr& record)
{
    if (!record || !shouldPerformSoft404CheckOn(*record))
        return false;
    const QStringList terms = getSoft404Array();
    if (terms.isEmpty())
        return false;
    if (!CrwlTermsMatcher::stringContainsOneOfTheseTerms(record->finalURLString(), terms).isEmpty())
        return true;
    if (record->isCSS() || record->isImage() || record->isAudio() || record->isVideo() || record->isPDF())
        return false;

    const QByteArray& data = record->getData();
    std::optional<QString> text;
    if (record->isHTML() && pageReader)
        text = pageReader->soft404Text(data, static_cast<EncodingId>(detectedEncoding.load()));
    if (!text)
        text = QString::fromUtf8(data);
    if (text->isEmpty())
        return false;
    const QStringList found = CrwlTermsMatcher::stringContainsOneOfTheseTerms(*text, terms);
    if (found.isEmpty())
        return false;
    record->addWarning(QStringLiteral("The page is indicated as possible soft 404 because it contains the term(s) %1")
                           .arg(found.join(QStringLiteral(", "))));
    return true;
}

// ===== Request diagnosis ====================================================================

void Z12Ara::sendHTMLStringToDiagnostic(const QString& html)
{
    if (diagnostic)
        diagnostic->setHTMLString(html);
}

void Z12Ara::addRequestFieldsToDiagnostic(const QString& fields)
{
    if (diagnostic)
        diagnostic->setRequest(fields);
}

// The posted calls hold the window weakly: a call still queued when the program ends must not
// be what destroys a window (its widgets would then be deleted while Qt empties its event list).
void Z12Ara::addResponseFieldsToDiagnostic(const QString& fields)
{
    if (diagnostic)
        toMain([window = std::weak_ptr(diagnostic), fields] {
            if (const auto shown = window.lock())
                shown->addToResponse(fields);
        });
}

void Z12Ara::addStringToDiagnosticTrace(const QString& line)
{
    if (diagnostic)
        toMain([window = std::weak_ptr(diagnostic), line] {
            if (const auto shown = window.lock())
                shown->addToTrace(line);
        });
}

// ===== Reading the scan =====================================================================

const CrwlUrlList& Z12Ara::internalPagesCollection() const
{
    static const CrwlUrlList none;
    return engineSEODataSource ? engineSEODataSource->internalPagesCollection() : none;
}

qint64 Z12Ara::pageCount() const
{
    return engineSEODataSource ? static_cast<qint64>(engineSEODataSource->internalPagesCollection().size()) : 0;
}

QString Z12Ara::getWebsiteName() const
{
    if (collection.isEmpty())
        return QString(u""_qs);
    auto first = std::dynamic_pointer_cast<CrwlUrl>(collection.first());
    if (!first)
        return QString(u""_qs);
    // A starting URL that redirects has no page of its own: the page it leads to names the site.
    if (first->getLinkpagetitle().isEmpty() && !first->getRedir().isEmpty()) {
        if (const auto target
            = std::dynamic_pointer_cast<CrwlUrl>(doWeHaveThisURL(first->getRedir(), lookupDictionary, true)))
            first = target;
    }
    static const QRegularExpression separators(QStringLiteral("[\\s\\x{2028}\\x{2029}\\x{85}]"));
    QString name(u""_qs);
    for (const QString& piece : first->getLinkpagetitle().split(separators, Qt::KeepEmptyParts)) {
        if (name.size() >= 20)
            break;
        name += u' ' + piece;
    }
    return crawlmere::platform::strings::trimmingWhitespaceAndNewlines(name);
}

CrwlUrlGroups Z12Ara::getDuplicates() const
{
    return engineSEODataSource ? engineSEODataSource->getDuplicates() : CrwlUrlGroups();
}

CrwlUrlGroups Z12Ara::getDuplicateTitles() const
{
    return engineSEODataSource ? engineSEODataSource->getDuplicateTitles() : CrwlUrlGroups();
}

CrwlUrlGroups Z12Ara::getDuplicateDescriptions() const
{
    return engineSEODataSource ? engineSEODataSource->getDuplicateDescriptions() : CrwlUrlGroups();
}

QString Z12Ara::SEOShortSummary() const
{
    return engineSEODataSource ? engineSEODataSource->getShortSummary() : QString();
}

QString Z12Ara::SEOShortSummaryAsCSV() const
{
    return engineSEODataSource ? engineSEODataSource->getShortSummaryAsCSV() : QString();
}

CrwlUrlList Z12Ara::imageCollection() const
{
    return engineSEODataSource ? engineSEODataSource->getImageCollection() : CrwlUrlList();
}

const std::map<QString, CrwlUrlList>* Z12Ara::getMisspelledWordDictionary() const
{
    return engineSEODataSource ? engineSEODataSource->getMisspelledWordDictionary() : nullptr;
}

CrwlUrlList Z12Ara::getDuplicatesForCrwlUrl(const CrwlUrl& record) const
{
    if (!engineSEODataSource)
        return {};
    // By reference: a copy of every group per page would make a whole-scan column quadratic.
    const CrwlUrlGroups& groups = engineSEODataSource->getDuplicates();
    const auto it = groups.find(record.getLinkpagetitle());
    if (it == groups.end())
        return {};
    CrwlUrlList others;
    for (const auto& page : it->second) {
        if (page.get() != &record)
            others.push_back(page);
    }
    return others;
}

quint64 Z12Ara::duplicateGroupsGeneration() const
{
    return engineSEODataSource ? engineSEODataSource->groupsGeneration() : 0;
}

QStringList Z12Ara::stringContainsOneOfTheseTerms(QStringView string, const QStringList& terms)
{
    return CrwlTermsMatcher::stringContainsOneOfTheseTerms(string, terms);
}
