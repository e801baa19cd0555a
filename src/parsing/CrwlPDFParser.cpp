// PDF link extraction: URI link annotations and the text under their rectangles.
#include "parsing/CrwlPDFParser.h"

#include "parsing/detail/DocumentText.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/PdfDocument.h"

namespace detail = crawlmere::parsing::detail;
using crawlmere::platform::PdfDocument;
using crawlmere::platform::Url;

std::unique_ptr<CrwlPDFParser> CrwlPDFParser::initWithData(const QByteArray& data)
{
    if (data.isNull()) {
        detail::parserLog(1, QStringLiteral("data is invalid"));
        return nullptr;
    }
    std::unique_ptr<CrwlPDFParser> parser(new CrwlPDFParser());
    parser->setPageData(data);
    parser->linkCollection.reserve(10);
    parser->linkTextCollection.reserve(10);

    QString failure;
    const std::optional<PdfDocument> document = PdfDocument::fromData(data, &failure);
    if (!document) {
        detail::documentParserError("CrwlPDFParser", QStringLiteral("cannot open the document: %1").arg(failure));
        return parser;
    }
    const int pageCount = document->pageCount();
    if (pageCount <= 0) {
        detail::documentParserError("CrwlPDFParser", QStringLiteral("the document has no pages"));
        return parser;
    }

    for (int index = 0; index < pageCount; ++index) {
        const std::optional<PdfDocument::Page> page = document->page(index);
        if (!page)
            continue;
        for (const crawlmere::platform::PdfLinkAnnotation& annotation : page->linkAnnotations()) {
            if (annotation.url.isNull())
                continue; // a jump inside the document or another action: no URL
            // A URI that is not a valid URL gives the annotation no URL either.
            const std::optional<Url> url = Url::fromString(annotation.url);
            if (!url) {
                detail::parserLog(2, QStringLiteral("ignoring malformed PDF link %1").arg(annotation.url));
                continue;
            }
            if (parser->linkCollection.size() >= detail::kMaxDocumentLinks) {
                detail::documentParserError("CrwlPDFParser",
                    QStringLiteral("more than %1 links; the rest are ignored").arg(detail::kMaxDocumentLinks));
                return parser;
            }
            const QRectF grown = annotation.bounds.adjusted(-1.0, -1.0, 1.0, 1.0);
            parser->linkCollection.append(*url);
            parser->linkTextCollection.append(detail::capLinkText(page->textInRect(grown)));
        }
    }
    return parser;
}

std::optional<QString> CrwlPDFParser::getNextHref()
{
    if (posInLinkArray < 0 || posInLinkArray >= linkCollection.size())
        return std::nullopt;
    return linkCollection.at(posInLinkArray++).absoluteString();
}

QString CrwlPDFParser::getLinkText() const
{
    const int index = posInLinkArray - 1;
    if (index >= 0 && index < linkTextCollection.size())
        return linkTextCollection.at(index);
    return QStringLiteral("");
}
