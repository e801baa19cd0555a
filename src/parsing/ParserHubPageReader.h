// The page parser's answers to the crawl coordinator: the charset a page declares and the text
// its soft-404 test searches.
#pragma once

#include "engine/HubPageReader.h"

/// `HubPageReader` over `CrwlParser`.
class ParserHubPageReader final : public HubPageReader {
public:
    std::optional<QString> extractCharsetFromHTML(const QByteArray& data) const override;
    crawlmere::platform::EncodingId encodingForCharset(const QString& charset) const override;
    std::optional<QString> soft404Text(const QByteArray& data, crawlmere::platform::EncodingId encoding) const override;
};
