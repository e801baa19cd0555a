// Page facts of a URL record: meta elements, headings, JSON-LD types, the fragment check, the
// page's warnings and the duplicate lists asked of the owner.
#include "engine/CrwlUrl.h"

#include "engine/PunycodeAdditions.h"
#include "engine/detail/CrwlUrlCaches.h"
#include "engine/detail/DefaultsValue.h"
#include "engine/detail/PackedTexts.h"
#include "engine/SettingsValue.h"
#include "platform/Strings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>

#include <algorithm>

namespace strings = crawlmere::platform::strings;
using crawlmere::engine::detail::defaultsBool;
using crawlmere::engine::detail::defaultsInteger;
using crawlmere::engine::settingBool;

// ===== Meta elements ==========================================================================

void CrwlUrl::setMetaData(const QVariantList& elements)
{
    QString description;
    bool found = false;
    for (const QVariant& element : elements) {
        const QVariantMap attributes = element.toMap();
        const auto content = attributes.constFind(QStringLiteral("content"));
        if (content == attributes.cend())
            continue;
        if (attributes.value(QStringLiteral("name")).toString().compare(u"description", Qt::CaseInsensitive) != 0)
            continue;
        if (found)
            addWarning(QStringLiteral("The page contains more than one meta description in the head. The *last* one "
                                      "found will be reported. This may not be the same as the one that browsers use"));
        description = content.value().toString();
        found = true;
    }
    metaDescription = crawlmere::engine::detail::CompactText::of(description);
    // Kept as long as the record: packed into one string, the description's text not twice.
    if (metaElements.assign(elements, description)) {
        if (caches)
            caches->metaData = QVariantList();
    } else {
        QVariantList& kept = cachesRef().metaData;
        kept = elements;
        kept.squeeze();
    }
}

QVariantList CrwlUrl::getMetaData() const
{
    if (caches && !caches->metaData.isEmpty())
        return caches->metaData;
    return metaElements.elements(metaDescription.toString());
}

QString CrwlUrl::metaContent(const QString& attribute, const QString& value) const
{
    if (!caches || caches->metaData.isEmpty()) {
        const QString content = metaElements.contentWhere(attribute, value, metaDescription.toString());
        return content.isNull() ? QStringLiteral("") : content;
    }
    for (const QVariant& element : caches->metaData) {
        const QVariantMap attributes = element.toMap();
        const auto content = attributes.constFind(QStringLiteral("content"));
        if (content == attributes.cend())
            continue;
        const auto wanted = attributes.constFind(attribute);
        if (wanted != attributes.cend() && wanted.value().toString() == value)
            return content.value().toString();
    }
    return QStringLiteral("");
}

// ===== Headings ===============================================================================

namespace {

/// The text starts with exactly `tabs` tab characters and has at least `tabs` + 1 characters.
bool headingAtLevel(QStringView heading, qsizetype tabs)
{
    if (heading.size() < tabs + 1)
        return false;
    for (qsizetype i = 0; i < tabs; ++i) {
        if (heading.at(i) != u'\t')
            return false;
    }
    return heading.at(tabs) != u'\t';
}

/// Calls `each` with every heading of packed `kept`, in order.
template <typename Each> void forEachHeading(const crawlmere::engine::detail::CompactText& kept, Each each)
{
    if (kept.isEmpty())
        return;
    const QString headings = kept.toString();
    for (qsizetype at = 0; at < headings.size();)
        each(crawlmere::engine::detail::packed::read(headings, at));
}

/// The headings of one level joined with ", ", each trimmed of white space when `trim`.
QString joinedLevel(const crawlmere::engine::detail::CompactText& headings, qsizetype tabs, bool trim)
{
    QString joined;
    bool first = true;
    forEachHeading(headings, [&](QStringView heading) {
        if (!headingAtLevel(heading, tabs))
            return;
        if (!first)
            joined += QLatin1StringView(", ");
        joined += trim ? strings::trimmingWhitespaceAndNewlines(heading.toString()) : heading;
        first = false;
    });
    return joined;
}

} // namespace

void CrwlUrl::setHeadings(const QStringList& value)
{
    // Kept as long as the record: one string, without the room the texts grew with.
    QString packed;
    for (const QString& heading : value)
        crawlmere::engine::detail::packed::append(packed, heading);
    headings
        = packed.isEmpty() ? crawlmere::engine::detail::CompactText() : crawlmere::engine::detail::CompactText(packed);
    qint32 count = 0;
    forEachHeading(headings, [&](QStringView heading) { count += headingAtLevel(heading, 0) ? 1 : 0; });
    h1Total = count;
}

QStringList CrwlUrl::getHeadings() const
{
    QStringList list;
    forEachHeading(headings, [&](QStringView heading) { list.append(heading.toString()); });
    return list;
}

bool CrwlUrl::thisIsAnH1(const QString& heading) { return headingAtLevel(heading, 0); }

bool CrwlUrl::thisIsAnH2(const QString& heading) { return headingAtLevel(heading, 1); }

bool CrwlUrl::thisIsAnH3(const QString& heading) { return headingAtLevel(heading, 2); }

bool CrwlUrl::thisIsAnH4(const QString& heading) { return headingAtLevel(heading, 3); }

QString CrwlUrl::getH1s() const { return joinedLevel(headings, 0, /*trim=*/false); }

QString CrwlUrl::getH2s() const { return joinedLevel(headings, 1, /*trim=*/true); }

QString CrwlUrl::getH3s() const { return joinedLevel(headings, 2, /*trim=*/true); }

QString CrwlUrl::getH4s() const { return joinedLevel(headings, 3, /*trim=*/true); }

qint64 CrwlUrl::h1Count() const { return h1Total; }

// ===== JSON-LD ================================================================================

namespace {

/// Nesting deeper than this is not visited (a hostile page cannot exhaust the stack).
constexpr int maxJsonldDepth = 64;
/// Most types collected from one page.
constexpr qsizetype maxJsonldTypes = 1000;

void addStringToArrayIfNotExists(const QString& text, QStringList& types)
{
    if (!text.isEmpty() && !types.contains(text) && types.size() < maxJsonldTypes)
        types.append(text);
}

/// A stored JSON value in its list or dictionary form, whichever way it was stored.
QVariant plainValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QJsonDocument: {
        const QJsonDocument document = value.toJsonDocument();
        return document.isArray() ? QVariant(document.array().toVariantList())
                                  : QVariant(document.object().toVariantMap());
    }
    case QMetaType::QJsonObject:
        return value.toJsonObject().toVariantMap();
    case QMetaType::QJsonArray:
        return value.toJsonArray().toVariantList();
    case QMetaType::QJsonValue:
        return value.toJsonValue().toVariant();
    default:
        return value;
    }
}

void traverseValue(const QVariant& stored, QStringList& types, int depth);

void traverseObjectsInArray(const QVariantList& array, QStringList& types, int depth)
{
    for (const QVariant& element : array)
        traverseValue(element, types, depth + 1);
}

void traverseObjectsInDictionary(const QVariantMap& dictionary, QStringList& types, int depth)
{
    const QVariant type = plainValue(dictionary.value(QStringLiteral("@type")));
    if (type.typeId() == QMetaType::QString) {
        addStringToArrayIfNotExists(type.toString(), types);
    } else if (type.typeId() == QMetaType::QVariantList || type.typeId() == QMetaType::QStringList) {
        // A node may carry several types at once.
        for (const QVariant& each : type.toList()) {
            if (each.typeId() == QMetaType::QString)
                addStringToArrayIfNotExists(each.toString(), types);
        }
    }
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it)
        traverseValue(it.value(), types, depth + 1);
}

void traverseValue(const QVariant& stored, QStringList& types, int depth)
{
    if (depth > maxJsonldDepth)
        return;
    const QVariant value = plainValue(stored);
    if (value.typeId() == QMetaType::QVariantList)
        traverseObjectsInArray(value.toList(), types, depth);
    else if (value.typeId() == QMetaType::QVariantMap)
        traverseObjectsInDictionary(value.toMap(), types, depth);
}

} // namespace

QString CrwlUrl::getJsonldTypes() const
{
    const QVariantList& jsonld = getJsonld();
    if (jsonld.isEmpty())
        return QStringLiteral("");
    QStringList types;
    types.reserve(6);
    traverseObjectsInArray(jsonld, types, 0);
    return types.join(QStringLiteral(", "));
}

// ===== Fragments ==============================================================================

QString CrwlUrl::getAnchorFragment() const
{
    if (settingBool(crawlSettings, crawlKey::shouldTrimHash))
        return QStringLiteral("");
    const qsizetype hash = linkURL.indexOf(u'#');
    if (hash < 0 || hash >= linkURL.size() - 1)
        return QStringLiteral("");
    return linkURL.mid(hash + 1);
}

void CrwlUrl::setNamesOnThisPage(const QStringList& names)
{
    namesOnThisPage = names;
    const QString fragment = getAnchorFragment();
    if (fragment.isEmpty())
        return;
    linksAnchorDoesntAppearOnTargetPage = !names.contains(fragment);
    if (!linksAnchorDoesntAppearOnTargetPage)
        return;
    addWarning(QStringLiteral("This link url contains the anchor fragment #%1 which Crawlmere hasn't found on the "
                              "target page")
                   .arg(fragment));
    if (const auto recordOwner = owner.lock())
        recordOwner->incBadLinkCount(weak_from_this().lock());
}

// ===== Warnings ===============================================================================

QStringList CrwlUrl::getWarningsAsArrayIncludingRedirects(bool includeRedirects) const
{
    const QString target = getRedir();
    if (warnings.isEmpty() && target.isEmpty())
        return {};
    QStringList result;
    const qint64 hops = getRedirectCount();
    if (hops > 0 && includeRedirects && !defaultsBool(userDefaults(), crawlKey::dontReportRedirects)) {
        const QString original = getAbsoluteStringDecoded();
        if (hops <= defaultsInteger(userDefaults(), defaultsKey::redirectChain, 3)) {
            if (hops == 1)
                result.append(
                    QStringLiteral("The original url %1 was redirected once to: %2").arg(original, getRedirDecoded()));
            else
                result.append(QStringLiteral("The original url %1 was redirected %2 times, final url: %3")
                                  .arg(original, QString::number(hops), getRedirDecoded()));
        } else {
            result.append(
                QStringLiteral("The original link url %1 redirected %2 times, which may be considered a redirect chain")
                    .arg(original, QString::number(hops)));
        }
    }
    for (const QString& warning : warnings)
        result.append(cleanedWarningString(warning));
    return result;
}

QString CrwlUrl::getWarningsAsString() const { return getWarningsAsArray().join(u'\n'); }

QString CrwlUrl::cleanedWarningString(const QString& warning)
{
    // Drops the whole column of each "at line N/C" place, and only there: a "/7" elsewhere in
    // the warning (in a URL, say) stays.
    static const QRegularExpression place(QStringLiteral("(at line \\d+)/\\d+"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption
            | QRegularExpression::UseUnicodePropertiesOption);
    if (!warning.contains(u'/'))
        return warning;
    QString cleaned = warning;
    cleaned.replace(place, QStringLiteral("\\1"));
    return cleaned;
}

bool CrwlUrl::getWarningsArrayIncludesAnchors() const
{
    return std::any_of(warnings.cbegin(), warnings.cend(),
        [](const QString& warning) { return warning.contains(u"This link url contains the anchor fragment"); });
}

// ===== Duplicates =============================================================================

namespace {

CrwlUrlList sortedByText(CrwlUrlList pages, QString (CrwlUrl::*text)() const)
{
    std::stable_sort(pages.begin(), pages.end(), [text](const auto& a, const auto& b) {
        if (!a || !b)
            return !a && b;
        return ((*a).*text)().compare(((*b).*text)(), Qt::CaseInsensitive) < 0;
    });
    return pages;
}

std::vector<std::weak_ptr<CrwlUrl>> weakened(const CrwlUrlList& pages) { return { pages.begin(), pages.end() }; }

CrwlUrlList strengthened(const std::vector<std::weak_ptr<CrwlUrl>>& pages)
{
    CrwlUrlList strong;
    strong.reserve(pages.size());
    for (const auto& page : pages) {
        if (auto alive = page.lock())
            strong.push_back(std::move(alive));
    }
    return strong;
}

} // namespace

void CrwlUrl::dropStaleDuplicateLists(const CrwlURLDelegate* recordOwner) const
{
    if (!caches)
        return;
    const quint64 generation = recordOwner ? recordOwner->duplicateGroupsGeneration() : 0;
    if (generation == caches->duplicateListsGeneration)
        return;
    caches->urlsWithDuplicates.reset();
    caches->urlsWithDuplicateTitles.reset();
    caches->urlsWithDuplicateDescriptions.reset();
    caches->duplicateListsGeneration = generation;
}

CrwlUrlList CrwlUrl::getUrlsWithDuplicatesRefresh(bool refresh) const
{
    const auto recordOwner = owner.lock();
    dropStaleDuplicateLists(recordOwner.get());
    auto& cache = cachesRef().urlsWithDuplicates;
    if (refresh || !cache)
        cache = weakened(recordOwner ? recordOwner->getDuplicatesForCrwlUrl(*this) : CrwlUrlList());
    return strengthened(*cache);
}

CrwlUrlList CrwlUrl::getUrlsWithDuplicateTitlesRefresh(bool refresh) const
{
    const auto recordOwner = owner.lock();
    dropStaleDuplicateLists(recordOwner.get());
    auto& cache = cachesRef().urlsWithDuplicateTitles;
    if (refresh || !cache) {
        CrwlUrlList pages;
        if (recordOwner) {
            const CrwlUrlGroups groups = recordOwner->getDuplicateTitles();
            const auto it = groups.find(getLinkpagetitle());
            if (it != groups.end())
                pages = sortedByText(it->second, &CrwlUrl::getLinkpagetitle);
        }
        cache = weakened(pages);
    }
    return strengthened(*cache);
}

CrwlUrlList CrwlUrl::getUrlsWithDuplicateDescriptionsRefresh(bool refresh) const
{
    const auto recordOwner = owner.lock();
    dropStaleDuplicateLists(recordOwner.get());
    auto& cache = cachesRef().urlsWithDuplicateDescriptions;
    if (refresh || !cache) {
        CrwlUrlList pages;
        if (recordOwner) {
            const CrwlUrlGroups groups = recordOwner->getDuplicateDescriptions();
            const auto it = groups.find(getMetadescription());
            if (it != groups.end())
                pages = sortedByText(it->second, &CrwlUrl::getMetadescription);
        }
        cache = weakened(pages);
    }
    return strengthened(*cache);
}
