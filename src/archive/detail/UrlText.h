// Small text helpers of the archive's URL handling, shared by the reader and the export.
#pragma once

#include "engine/PunycodeAdditions.h"
#include "platform/Url.h"

#include <QString>

#include <optional>

namespace crawlmere::archive::detail {

/// A "url(" argument without the double quotes, single quotes and spaces around it.
inline QString trimmedQuotesAndSpaces(QString text)
{
    const auto strip = [](QChar c) { return c == u'"' || c == u'\'' || c == u' '; };
    while (!text.isEmpty() && strip(text.front()))
        text.remove(0, 1);
    while (!text.isEmpty() && strip(text.back()))
        text.chop(1);
    return text;
}

/// The URL of a text as archived (decoded): as it stands, else in its encoded form.
inline std::optional<platform::Url> urlFromText(const QString& text)
{
    if (auto url = platform::Url::fromString(text))
        return url;
    return platform::Url::fromString(PunycodeAdditions::encodedURLString(text));
}

} // namespace crawlmere::archive::detail
