// Small text helpers of the archive's URL handling, shared by the reader and the export.
#pragma once

#include "engine/PunycodeAdditions.h"
#include "platform/Url.h"

#include <QString>

#include <algorithm>
#include <optional>

namespace crawlmere::archive::detail {

/// The URL of a text as archived (decoded): as it stands, else in its encoded form.
inline std::optional<platform::Url> urlFromText(const QString& text)
{
    if (auto url = platform::Url::fromString(text))
        return url;
    return platform::Url::fromString(PunycodeAdditions::encodedURLString(text));
}

/// The index key of a URL text: the text with the characters a property list cannot hold as a
/// key (U+0000, and the other control characters an XML list cannot carry) percent-encoded, as
/// a URL writes them. Texts without them are their own key; a key is its own key.
inline QString indexKey(const QString& urlText)
{
    const auto unfit = [](QChar c) { return c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r'; };
    if (std::none_of(urlText.cbegin(), urlText.cend(), unfit))
        return urlText;
    QString key;
    key.reserve(urlText.size() + 8);
    for (const QChar c : urlText) {
        if (unfit(c))
            key += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            key += c;
    }
    return key;
}

} // namespace crawlmere::archive::detail
