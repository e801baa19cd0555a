// PDF documents through poppler-qt6, with link rectangles converted from poppler's normalised
// page coordinates to points.
#include "platform/PdfDocument.h"

#include "platform/detail/PdfStreams.h"

#include <poppler-qt6.h>

namespace crawlmere::platform {

PdfDocument::Page::Page(std::shared_ptr<Poppler::Document> document, std::unique_ptr<Poppler::Page> page)
    : m_document(std::move(document))
    , m_page(std::move(page))
{
}

PdfDocument::Page::Page(Page&&) noexcept = default;
PdfDocument::Page& PdfDocument::Page::operator=(Page&&) noexcept = default;

PdfDocument::Page::~Page()
{
    // The page must go before the document it belongs to.
    m_page.reset();
    m_document.reset();
}

QSizeF PdfDocument::Page::size() const { return m_page->pageSizeF(); }

std::vector<PdfLinkAnnotation> PdfDocument::Page::linkAnnotations() const
{
    std::vector<PdfLinkAnnotation> links;
    const QSizeF pageSize = m_page->pageSizeF();
    // annotations() lists the page's annotations in the order of its annotation array.
    const std::vector<std::unique_ptr<Poppler::Annotation>> annotations = m_page->annotations();
    for (const auto& annotation : annotations) {
        if (!annotation || annotation->subType() != Poppler::Annotation::ALink)
            continue;
        const auto* link = static_cast<const Poppler::LinkAnnotation*>(annotation.get());
        // Poppler gives the rectangle as fractions of the page's width and height, origin at
        // the top-left corner; scale it to points in the same orientation.
        const QRectF unit = link->boundary().normalized();
        PdfLinkAnnotation entry;
        entry.bounds = QRectF(unit.x() * pageSize.width(), unit.y() * pageSize.height(),
            unit.width() * pageSize.width(), unit.height() * pageSize.height());
        const Poppler::Link* action = link->linkDestination();
        if (action && action->linkType() == Poppler::Link::Browse) {
            entry.url = static_cast<const Poppler::LinkBrowse*>(action)->url();
            if (entry.url.isNull())
                entry.url = QStringLiteral("");
        }
        links.push_back(std::move(entry));
    }
    return links;
}

QString PdfDocument::Page::textInRect(const QRectF& rect) const
{
    // Poppler answers the whole page for a null rectangle; an empty one holds no text.
    if (rect.isEmpty())
        return QStringLiteral("");
    QString text = m_page->text(rect);
    return text.isNull() ? QStringLiteral("") : text;
}

bool PdfDocument::Page::layOutTextBefore(std::chrono::steady_clock::time_point deadline) const
{
    // Poppler asks every few content-stream operators whether to stop.
    const auto pastDeadline = [](const QVariant& closure) {
        return std::chrono::steady_clock::now().time_since_epoch().count() > closure.toLongLong();
    };
    const qint64 until = deadline.time_since_epoch().count();
    m_page->textList(Poppler::Page::Rotate0, pastDeadline, QVariant(until));
    return std::chrono::steady_clock::now() <= deadline;
}

PdfDocument::PdfDocument(std::shared_ptr<Poppler::Document> document)
    : m_document(std::move(document))
{
}

PdfDocument::PdfDocument(PdfDocument&&) noexcept = default;
PdfDocument& PdfDocument::operator=(PdfDocument&&) noexcept = default;
PdfDocument::~PdfDocument() = default;

std::optional<PdfDocument> PdfDocument::fromData(const QByteArray& data, QString* failure)
{
    auto fail = [failure](const char* reason) {
        if (failure)
            *failure = QString::fromLatin1(reason);
        return std::nullopt;
    };
    if (data.isEmpty())
        return fail("no data");
    std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(data);
    if (!document)
        return fail("not a readable PDF document");
    if (document->isLocked())
        return fail("the document is locked by a password");
    return PdfDocument(std::shared_ptr<Poppler::Document>(std::move(document)));
}

qint64 PdfDocument::decodedStreamBytes(const QByteArray& data, qint64 cap)
{
    return detail::decodedStreamBytes(data, cap);
}

int PdfDocument::pageCount() const { return m_document ? m_document->numPages() : 0; }

std::optional<PdfDocument::Page> PdfDocument::page(int index) const
{
    if (!m_document || index < 0 || index >= m_document->numPages())
        return std::nullopt;
    std::unique_ptr<Poppler::Page> page = m_document->page(index);
    if (!page)
        return std::nullopt;
    return Page(m_document, std::move(page));
}

} // namespace crawlmere::platform
