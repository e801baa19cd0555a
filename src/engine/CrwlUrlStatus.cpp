// Status of a URL record: the texts of status codes, the status text shown for a redirected
// URL, the good and error tests, and the classification by MIME type and file extension.
#include "engine/CrwlUrl.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/PunycodeAdditions.h"
#include "engine/SettingsValue.h"
#include "engine/detail/CrwlUrlCaches.h"
#include "engine/detail/DefaultsValue.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "platform/UrlResponse.h"

#include <QHash>

#include <algorithm>
#include <array>

namespace strings = crawlmere::platform::strings;
using crawlmere::engine::detail::defaultsBool;
using crawlmere::engine::detail::defaultsInteger;
using crawlmere::engine::integerValue;
using crawlmere::engine::settingBool;
using crawlmere::platform::logLine;
using crawlmere::platform::Url;

// ===== Status texts ===========================================================================

namespace {

/// Texts of the internal codes -1 .. -21, indexed by -code - 1. -14 is the fallback used when
/// the record has no error text.
constexpr std::array<const char*, 21> internalStatusTexts = {
    "", // -1 not yet checked
    "Request sent",
    "User marked fixed",
    "Not checked",
    "Unable to make valid url",
    "Disallowed by robots.txt",
    "File is directory",
    "File doesn't exist",
    "Recurring redirect",
    "possible 'soft 404'", // -10
    "Missing link url",
    "blocked by LinkedIn",
    "blocked by Cloudflare",
    "Completed with error",
    "OK", // -15
    "blocked by Incapsula",
    "Unknown error",
    "Unauthorized",
    "Response header field Refresh:",
    "Redirection to nowhere", // -20
    "Missing image src",
};

static_assert(qint64(internalStatusTexts.size()) == -CrwlStatus::lowestInternal);

} // namespace

qint64 CrwlUrl::initialStatus() const
{
    if (getRedirectCount() == 0)
        return getStatus();
    const std::lock_guard lock(redirLock);
    if (!chain || chain->hops.isEmpty())
        return getStatus();
    const QVariant first = chain->hops.constFirst().toMap().value(QStringLiteral("status"));
    return first.isValid() ? integerValue(first) : CrwlStatus::notYetChecked;
}

QString CrwlUrl::descriptionForStatusCode(qint64 code) const
{
    if (code >= CrwlStatus::lowestInternal && code <= CrwlStatus::notYetChecked) {
        if (code == CrwlStatus::completedWithError && !error.isEmpty())
            return error;
        return QString::fromLatin1(internalStatusTexts[size_t(-code - 1)]);
    }
    // The text of a code never changes: each thread formats a code once and shares the text.
    thread_local QHash<qint64, QString> texts;
    if (const auto it = texts.constFind(code); it != texts.cend())
        return it.value();
    if (texts.size() >= 1024) // codes come from servers: keep the table small
        texts.clear();
    const QString text = QStringLiteral("%1 %2").arg(
        QString::number(code), crawlmere::platform::UrlResponse::localizedStringForStatusCode(code));
    texts.insert(code, text);
    return text;
}

QString CrwlUrl::getStatusDescription() const
{
    QString text = statusDescriptionWithoutFragment();
    // A link to a fragment the page lacks counts as bad: its status says why.
    if (linksAnchorDoesntAppearOnTargetPage && !text.isEmpty())
        text += QStringLiteral(", no such #fragment on the page");
    return text;
}

QString CrwlUrl::statusDescriptionWithoutFragment() const
{
    const qint64 finalCode = getStatus();
    // The preference that gives redirects their colour decides the text too.
    // A hop only recorded (a Refresh header not waited for) leaves the record its own page.
    if (followedRedirectCount() == 0 || defaultsBool(userDefaults(), crawlKey::dontReportRedirects)
        || settingBool(crawlSettings, crawlKey::dontReportRedirects))
        return descriptionForStatusCode(finalCode);
    switch (defaultsInteger(userDefaults(), defaultsKey::byStatusWhichStatus, 2)) {
    case 2:
        return QStringLiteral("%1 < %2").arg(
            descriptionForStatusCode(finalCode), descriptionForStatusCode(initialStatus()));
    case 1:
        return descriptionForStatusCode(finalCode);
    case 0:
        return descriptionForStatusCode(initialStatus());
    default:
        return QStringLiteral("");
    }
}

bool CrwlUrl::isGoodLink() const
{
    const qint64 code = getStatus();
    return code == CrwlStatus::nonHttpOk || (code >= 200 && code <= 399);
}

bool CrwlUrl::isErrorPage() const { return getStatus() >= 300; }

// ===== Classification =========================================================================

bool CrwlUrl::isHTML() const
{
    const QString typeAttribute = caches ? caches->typeAttribute : QString();
    if (!typeAttribute.isEmpty()) {
        static const std::array<QLatin1String, 5> nonHtmlTypes = {
            QLatin1String("image/"),
            QLatin1String("application/rss"),
            QLatin1String("application/json"),
            QLatin1String("wlwmanifest"),
            QLatin1String("font/"),
        };
        for (const QLatin1String type : nonHtmlTypes) {
            if (typeAttribute.contains(type)) {
                logLine(2, QStringLiteral("%1 is NOT HTML because of type attribute (%2)").arg(linkURL, typeAttribute));
                return false;
            }
        }
    }
    return isHTMLFlag;
}

bool CrwlUrl::isHttp() const { return strings::hasPrefixCaseInsensitive(linkURL, u"http://"); }

bool CrwlUrl::isPDF() const
{
    return strings::containsCaseInsensitive(mimeTypeText, u"application/pdf")
        || strings::containsCaseInsensitive(strings::pathExtension(linkURL), u"pdf");
}

bool CrwlUrl::isDOCX() const { return strings::containsCaseInsensitive(strings::pathExtension(linkURL), u"docx"); }

bool CrwlUrl::isXML() const
{
    if (strings::containsCaseInsensitive(mimeTypeText, u"application/xml")
        || strings::containsCaseInsensitive(mimeTypeText, u"text/xml"))
        return true;
    const QString extension = strings::pathExtension(linkURL);
    if (extension == u"xml" || extension == u"XML")
        return true;
    return linkURL.contains(u'?') && strings::containsCaseInsensitive(linkURL, u".xml?");
}

bool CrwlUrl::isRTF() const
{
    if (strings::containsCaseInsensitive(mimeTypeText, u"text/rtf"))
        return true;
    const QString extension = strings::pathExtension(linkURL);
    return extension == u"rtf" || extension == u"RTF"
        || (linkURL.contains(u'?') && strings::containsCaseInsensitive(linkURL, u".rtf?"));
}

bool CrwlUrl::isTXT() const
{
    const QString extension = strings::pathExtension(linkURL);
    return extension == u"txt" || extension == u"TXT" || strings::containsCaseInsensitive(linkURL, u".txt?");
}

bool CrwlUrl::isCSV() const
{
    const QString extension = strings::pathExtension(linkURL);
    return extension == u"csv" || extension == u"CSV" || strings::containsCaseInsensitive(linkURL, u".csv?");
}

bool CrwlUrl::isCSS() const
{
    return strings::containsCaseInsensitive(mimeTypeText, u"text/css")
        || strings::containsCaseInsensitive(strings::pathExtension(linkURL), u"css")
        || (linkURL.contains(u'?') && strings::containsCaseInsensitive(linkURL, u".css?"));
}

bool CrwlUrl::isJS() const
{
    return strings::containsCaseInsensitive(mimeTypeText, u"text/javascript")
        || strings::containsCaseInsensitive(strings::pathExtension(linkURL), u"js")
        || (linkURL.contains(u'?') && strings::containsCaseInsensitive(linkURL, u".js?"));
}

bool CrwlUrl::isNofollow() const
{
    if (inboundInstanceArray.empty())
        return false;
    return std::all_of(inboundInstanceArray.begin(), inboundInstanceArray.end(),
        [](const std::shared_ptr<CrwlLinkInstance>& instance) { return instance && instance->getNofollow(); });
}

bool CrwlUrl::isDeepContent() const
{
    return distanceFromHome > defaultsInteger(userDefaults(), defaultsKey::minDeepContent, 6);
}

bool CrwlUrl::directoryTooHigh() const { return linkURL.contains(u"../"); }

qint64 CrwlUrl::getDirectoryDepth() const
{
    std::optional<Url> url = Url::fromString(linkURL);
    if (!url)
        url = Url::fromString(PunycodeAdditions::encodedURLString(getLinkUrlForTesting()));
    if (!url)
        return 0;
    // Components as a URL gives them: the root "/" counts, a trailing "/" does not.
    QStringList components = strings::pathComponents(url->path());
    if (components.size() > 1 && components.constLast() == u"/")
        components.removeLast();
    return std::max<qint64>(0, components.size() - 1);
}
