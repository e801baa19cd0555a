// PDF link extraction: URI link annotations and the text under their rectangles.
#include "parsing/CrwlPDFParser.h"

#include "parsing/detail/DocumentText.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/PdfDocument.h"

#include <algorithm>

namespace detail = crawlmere::parsing::detail;
using crawlmere::platform::PdfDocument;
using crawlmere::platform::Url;

std::unique_ptr<CrwlPDFParser> CrwlPDFParser::initWithData(const QByteArray& data, const Limits& limits)
{
    if (data.isNull()) {
        detail::parserLog(1, QStringLiteral("data is invalid"));
        return nullptr;
    }
    const auto deadline = std::chrono::steady_clock::now() + limits.maxTime;
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
    // The link annotations are read without the page's contents; the texts under them are not.
    const bool readTexts = PdfDocument::decodedStreamBytes(data, limits.maxDecodedBytes) <= limits.maxDecodedBytes;
    if (!readTexts)
        detail::documentParserError("CrwlPDFParser",
            QStringLiteral(
                "the document's streams decode to more than %1 bytes; its links are read without their texts")
                .arg(limits.maxDecodedBytes));
    const int pagesRead = std::min(pageCount, std::max(limits.maxPages, 0));
    const auto cutForTime = [&] {
        detail::documentParserError("CrwlPDFParser",
            QStringLiteral("reading took more than %1 ms; the document was cut after %2 links")
                .arg(limits.maxTime.count())
                .arg(parser->linkCollection.size()));
    };

    for (int index = 0; index < pagesRead; ++index) {
        if (std::chrono::steady_clock::now() > deadline) {
            cutForTime();
            return parser;
        }
        const std::optional<PdfDocument::Page> page = document->page(index);
        if (!page)
            continue;
        const std::vector<crawlmere::platform::PdfLinkAnnotation> annotations = page->linkAnnotations();
        // Each text under a link lays out the page again: one layout, timed, says whether the
        // texts of this page fit in the time left.
        std::chrono::steady_clock::duration layout {};
        if (readTexts && !annotations.empty()) {
            const auto started = std::chrono::steady_clock::now();
            if (!page->layOutTextBefore(deadline)) {
                cutForTime();
                return parser;
            }
            layout = std::chrono::steady_clock::now() - started;
        }
        for (const crawlmere::platform::PdfLinkAnnotation& annotation : annotations) {
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
            // The next text would lay the page out again: not begun when it would end too late.
            if (readTexts && std::chrono::steady_clock::now() + layout > deadline) {
                cutForTime();
                return parser;
            }
            const QRectF grown = annotation.bounds.adjusted(-1.0, -1.0, 1.0, 1.0);
            parser->linkCollection.append(*url);
            parser->linkTextCollection.append(
                readTexts ? detail::capLinkText(page->textInRect(grown)) : QStringLiteral(""));
        }
    }
    if (pagesRead < pageCount)
        detail::documentParserError("CrwlPDFParser",
            QStringLiteral("the document has %1 pages; only the first %2 were read").arg(pageCount).arg(pagesRead));
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
