// Feeds arbitrary bytes to the page scanner and to the URL-list and sitemap readers, with the
// options taken from the first input byte, and walks every link with its getters.
#include "parsing/CrwlParser.h"
#include "parsing/detail/ParserDefaults.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

void walk(CrwlParser& parser)
{
    size_t total = 0;
    while (const auto url = parser.getNextHref()) {
        total += static_cast<size_t>(url->size() + parser.getLinkText().size() + parser.getRel().size()
            + parser.getTypeAttribute().size() + parser.getHreflang().size() + parser.getTargetAttr().size());
        if (const auto line = parser.getLineNumber())
            total += static_cast<size_t>(*line);
    }
    total += static_cast<size_t>(parser.getTextContent().size() + parser.getWarnings().size() + parser.getNames().size()
        + parser.getHeadings().size() + parser.getTitle().size() + parser.getWordCount());
    // Keeps the reads from being optimised away.
    volatile size_t sink = total;
    (void)sink;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    namespace detail = crawlmere::parsing::detail;
    static const bool once = [] {
        detail::setParserDefault(QStringLiteral("htmlValidationEnabled"), true);
        return true;
    }();
    (void)once;
    if (size == 0)
        return 0;
    const uint8_t flags = data[0];
    ++data;
    --size;

    // An exact-size heap copy, so a read past the end is caught; the parser shares it.
    std::unique_ptr<char[]> copy(new char[size ? size : 1]);
    if (size)
        std::memcpy(copy.get(), data, size);
    const QByteArray page = QByteArray::fromRawData(copy.get(), static_cast<qsizetype>(size));

    detail::setParserDefault(QStringLiteral("parserContentConsolidateWhitespace"), (flags & 0x40) != 0);
    detail::setParserDefault(QStringLiteral("parserContentOnlyParas"), (flags & 0x80) != 0);
    detail::setParserDefault(QStringLiteral("parserContentIncludeAltText"), (flags & 0x20) != 0);
    detail::setParserDefault(QStringLiteral("parserContentIgnoreNav"), (flags & 0x10) != 0);

    CrwlParser::Options options;
    options.allowNoLinks = true;
    options.withSEO = (flags & 0x01) != 0;
    options.checkImages = (flags & 0x02) != 0;
    options.lazyload = (flags & 0x04) != 0;
    options.linkedFiles = (flags & 0x08) != 0;
    options.collectNames = (flags & 0x10) != 0;
    options.searchMetaDataForURLs = (flags & 0x20) != 0;
    static constexpr int kFileTypes[] = { CrwlParser::HTML, CrwlParser::HTML, CrwlParser::HTML, CrwlParser::HTML,
        CrwlParser::HTML, CrwlParser::CommaSeparatedList, CrwlParser::WhitespaceSeparatedList, CrwlParser::XMLSitemap };
    options.fileType = kFileTypes[(flags >> 5) & 7];
    if (auto parser = CrwlParser::initWithData(page, options))
        walk(*parser);
    return 0;
}
