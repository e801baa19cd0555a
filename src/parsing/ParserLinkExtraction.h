// The page parsers of link extraction: the page scanner and the link extractors of PDF, style
// sheet, DOCX and RTF files, seen through the engine's link-extraction interface.
#pragma once

#include "engine/LinkExtractionParser.h"

/// `LinkExtractionParsers` over `CrwlParser` and `CrwlDocumentParserFactory`. Stateless; one
/// instance serves a whole run (`Z12Ara::setLinkExtractionParsers`).
///
/// The text checks answer through the page's parser and the shared spell checker: the spelling
/// count is the misspelled words that are no web addresses (grammar issues are not counted).
class ParserLinkExtraction final : public LinkExtractionParsers {
public:
    std::unique_ptr<LinkExtractionParser> makeDocumentParser(DocumentKind kind, const QByteArray& data) const override;
    std::unique_ptr<LinkExtractionParser> makePageParser(const QByteArray& data,
        crawlmere::platform::EncodingId encoding, int fileType, const QVariantMap& crawlSettings) const override;
    std::unique_ptr<LinkExtractionParser> makeSourceParser(
        const QByteArray& data, crawlmere::platform::EncodingId encoding, int fileType) const override;
};
