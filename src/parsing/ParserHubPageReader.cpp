// The page parser's answers to the crawl coordinator.
#include "parsing/ParserHubPageReader.h"

#include "parsing/CrwlParser.h"

#include <string_view>

std::optional<QString> ParserHubPageReader::extractCharsetFromHTML(const QByteArray& data) const
{
    return CrwlParser::extractCharsetFromHTML(std::string_view(data.constData(), size_t(data.size())));
}

crawlmere::platform::EncodingId ParserHubPageReader::encodingForCharset(const QString& charset) const
{
    return CrwlParser::encodingForCharset(charset);
}

std::optional<QString> ParserHubPageReader::soft404Text(
    const QByteArray& data, crawlmere::platform::EncodingId encoding) const
{
    // SEO and no-index checks off, file type 0 (HTML), lazy loading off.
    const auto parser = CrwlParser::initWithData(
        data, /*withSEO=*/false, /*checkNoIndex=*/false, encoding, CrwlParser::HTML, /*lazyload=*/false);
    if (!parser)
        return std::nullopt;
    return parser->getTitle() + u' ' + parser->getTextContent();
}
