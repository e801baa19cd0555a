// The crawl's small policy questions answered from the settings, extension lists, fragment
// and query trimming, lookup keys and rule-term tests of a URL record.
#include "engine/CrwlUrl.h"

#include "engine/CrwlPatternMatcher.h"
#include "engine/PunycodeAdditions.h"
#include "engine/LookupKeys.h"
#include "engine/SettingsValue.h"

#include <QLatin1String>

#include <algorithm>
#include <initializer_list>

using crawlmere::engine::boolValue;
using crawlmere::engine::settingBool;
using crawlmere::engine::settingString;

// ----- Settings predicates --------------------------------------------------------------------

bool CrwlUrl::shouldParsePDFs() const { return settingBool(crawlSettings, crawlKey::shouldParsePDFs); }

bool CrwlUrl::shouldParseDOCXs() const { return settingBool(crawlSettings, crawlKey::shouldParseDOCXs); }

bool CrwlUrl::shouldParseRTFs() const { return settingBool(crawlSettings, crawlKey::shouldParseRTFs); }

bool CrwlUrl::shouldParseCSS() const { return settingBool(crawlSettings, crawlKey::shouldParseCSS); }

bool CrwlUrl::shouldLoadImages() const
{
    // The settings pane stores the switch as "loadImages"; "shouldLoadImages" is read from sites
    // that do not hold it.
    const QVariant shown = crawlSettings ? crawlSettings->value(crawlKey::loadImages) : QVariant();
    return shown.isValid() ? boolValue(shown) : settingBool(crawlSettings, crawlKey::shouldLoadImages);
}

bool CrwlUrl::isSonOfXML() const
{
    if (isXML())
        return false;
    return settingBool(crawlSettings, crawlKey::startingPointWasXML);
}

// ----- Request method -------------------------------------------------------------------------

qint32 CrwlUrl::requestMethod() const
{
    if (!isStartingPoint())
        return 1;
    const bool loginForm = settingBool(crawlSettings, crawlKey::WebtallyAttemptAuthentication)
        && !settingString(crawlSettings, crawlKey::authenticationpassword).isEmpty()
        && !settingString(crawlSettings, crawlKey::authenticationpasswordfieldname).isEmpty();
    if (loginForm)
        return 2;
    // A custom POST field is only sent in a POST body, so a named field with a value makes the
    // starting request a POST.
    for (const auto& [keyOfName, keyOfValue] : crawlmere::engine::customPostFields) {
        const QString key = settingString(crawlSettings, keyOfName);
        const QString value = settingString(crawlSettings, keyOfValue);
        if (!key.trimmed().isEmpty() && !value.isEmpty())
            return 2;
    }
    return 1;
}

QString CrwlUrl::methodName(qint32 method)
{
    switch (method) {
    case 0:
        return QStringLiteral("HEAD");
    case 1:
        return QStringLiteral("GET");
    case 2:
        return QStringLiteral("POST");
    default:
        return QStringLiteral("unknown");
    }
}

// ----- Extension lists ------------------------------------------------------------------------

namespace {

bool beginsWithOneOf(const QString& extension, std::initializer_list<const char*> list)
{
    return std::any_of(list.begin(), list.end(),
        [&](const char* entry) { return extension.startsWith(QLatin1String(entry), Qt::CaseInsensitive); });
}

} // namespace

bool CrwlUrl::extensionIsImageExtension(const QString& extension)
{
    const qsizetype query = extension.indexOf(u'?');
    const QString cut = query >= 0 ? extension.left(query) : extension;
    return beginsWithOneOf(cut, { "jpg", "jpeg", "gif", "svg", "png", "bmp", "webp" });
}

bool CrwlUrl::extensionIsAudioExtension(const QString& extension)
{
    return beginsWithOneOf(extension, { "mp3", "aac", "ogg", "mid", "midi", "oga", "wav", "m4r", "weba" });
}

bool CrwlUrl::extensionIsVideoExtension(const QString& extension)
{
    return beginsWithOneOf(extension,
        { "3gp", "asf", "avi", "divx", "f4v", "flv", "m2v", "m3u8", "mpg", "mpeg", "webm", "m4v", "mkv", "mov", "mp4",
            "ogv", "qvt", "ram", "rm", "vob", "xap", "wmv" });
}

bool CrwlUrl::extensionIsOtherNonHTMLExtension(const QString& extension)
{
    return beginsWithOneOf(extension, { "ttf", "flv", "woff", "vtt", "vcf", "gpx", "dmg" });
}

// ----- Trimming and lookup keys ---------------------------------------------------------------

QString CrwlUrl::forceTrimHash(const QString& url) { return crawlmere::engine::forceTrimHash(url); }

QString CrwlUrl::trimHash(const QString& url, bool trimQuery) const
{
    return crawlmere::engine::trimHashQuery(
        url, settingBool(crawlSettings, crawlKey::shouldTrimHash), trimQuery, isInternal());
}

QString CrwlUrl::prepareUrlForLookup(const QString& url) const
{
    return crawlmere::engine::prepareUrlForLookup(url, settingBool(crawlSettings, crawlKey::shouldIgnoreSlash));
}

bool CrwlUrl::isEqualToUrl(const QString& url, bool checkRedir)
{
    QString other = prepareUrlForLookup(url);
    const bool heldTripleSlash = other.contains(u"///");
    if (heldTripleSlash)
        other.replace(QStringLiteral("///"), QStringLiteral("//"));
    bool equal = other == prepareUrlForLookup(linkURL);
    // A record without a redirect has no target to match: an empty string must not match it.
    if (!equal && checkRedir) {
        const QString target = getRedir();
        if (!target.isEmpty())
            equal = other == prepareUrlForLookup(target);
    }
    if (equal && heldTripleSlash)
        recursion = true;
    return equal;
}

bool CrwlUrl::canonicalMatchesUrl()
{
    if (canonical.isEmpty())
        return true;
    return isEqualToUrl(canonical);
}

// ----- Rule terms -----------------------------------------------------------------------------

bool CrwlUrl::linkContainsOneOfTheseTerms(const QStringList& terms) const
{
    if (terms.isEmpty())
        return false;
    const QString encoded = PunycodeAdditions::encodedURLString(linkURL);
    const auto matches = [](const QString& text, const QString& term) {
        return CrwlPatternMatcher::stringMatchesPattern(text, term, /*allowWildcards=*/false);
    };
    const bool allNegative = terms.size() >= 2
        && std::all_of(terms.begin(), terms.end(), [](const QString& term) { return term.startsWith(u'!'); });
    if (allNegative) {
        return std::all_of(terms.begin(), terms.end(),
            [&](const QString& term) { return matches(linkURL, term) && matches(encoded, term); });
    }
    return std::any_of(terms.begin(), terms.end(),
        [&](const QString& term) { return matches(linkURL, term) || matches(encoded, term); });
}

QStringList CrwlUrl::dataContainsOneOfTheseTerms(
    const QStringList& terms, bool isRegex, bool caseInSensitive, bool literal) const
{
    if (terms.isEmpty())
        return {};
    // Undecodable bytes become replacement characters, so the rest of the page is still searched.
    QString text = QString::fromUtf8(getData());
    if (text.isNull())
        text = QStringLiteral(""); // an empty body is an empty text, not a missing one
    if (isRegex)
        return CrwlPatternMatcher::applyRegex(terms.first(), text);
    QStringList found;
    for (const QString& term : terms) {
        if (CrwlPatternMatcher::stringMatchesPattern(text, term, /*allowWildcards=*/true, caseInSensitive, literal))
            found.append(term);
    }
    return found;
}
