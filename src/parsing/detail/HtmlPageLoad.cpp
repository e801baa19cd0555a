// The synchronous page load shared by the parsers that fetch their own page.
#include "parsing/detail/HtmlPageLoad.h"

#include "engine/CrawlSettingKeys.h"
#include "engine/CrawlSettingTable.h"
#include "engine/PunycodeAdditions.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/Strings.h"
#include "platform/Url.h"
#include "platform/UrlSession.h"

#include <array>
#include <chrono>

namespace crawlmere::parsing::detail {

namespace {

/// Upper-cased extensions of files that are never parsed as pages.
constexpr std::array<QLatin1StringView, 8> skippedExtensions = {
    QLatin1StringView("DOC"),
    QLatin1StringView("MOV"),
    QLatin1StringView("WAV"),
    QLatin1StringView("MP3"),
    QLatin1StringView("ZIP"),
    QLatin1StringView("MPG"),
    QLatin1StringView("MP4"),
    QLatin1StringView("PDF"),
};

} // namespace

bool isSkippedPageExtension(const QString& url)
{
    const QString extension = platform::strings::pathExtension(url).toUpper();
    for (const QLatin1StringView skipped : skippedExtensions) {
        if (extension == skipped)
            return true;
    }
    return false;
}

std::optional<HtmlPage> loadHtmlPage(const QString& url, double timeoutSeconds)
{
    if (isSkippedPageExtension(url))
        return std::nullopt;
    std::optional<platform::Url> pageUrl = platform::Url::fromString(url);
    if (!pageUrl)
        pageUrl = platform::Url::fromString(PunycodeAdditions::encodedURLString(url));
    if (!pageUrl) {
        parserLog(1, QStringLiteral("url is badly formed"));
        return std::nullopt;
    }

    platform::UrlRequest request(pageUrl->absoluteString(), timeoutSeconds);
    request.httpShouldHandleCookies = true;
    // Read as a scan reads it: a blank one is the default user agent.
    const QString userAgentString
        = crawlmere::engine::effectiveSettingValue(crawlKey::userAgentString, defaultsObject(crawlKey::userAgentString)).toString();
    if (!userAgentString.isEmpty())
        request.setValue(userAgentString.toUtf8(), "User-Agent");
    const auto result = platform::UrlSession::loadSynchronously(
        request, std::chrono::milliseconds(static_cast<qint64>(timeoutSeconds * 1000.0)));
    if (result.body.isEmpty() || !result.response) {
        if (result.error)
            parserLog(1, QStringLiteral("page %1: %2").arg(url, result.error->localizedDescription));
        return std::nullopt;
    }
    const auto& response = *result.response;
    // A local file has no header block; its type comes from its name.
    const QString contentType = response.isHttp ? response.allHeaderFields.text("Content-Type") : response.mimeType;
    if (contentType.isNull()) {
        parserLog(1, QStringLiteral("can't establish content type for %1").arg(url));
        return std::nullopt;
    }
    if (!contentType.contains(QLatin1StringView("html")))
        return std::nullopt;

    platform::EncodingId encoding = platform::TextEncoding::encodingForDeclaredCharset(response.textEncodingName);
    if (encoding == 0)
        encoding = platform::Encoding::UTF8;
    return HtmlPage { result.body, encoding };
}

} // namespace crawlmere::parsing::detail
