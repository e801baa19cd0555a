// A PDF document opened from bytes in memory: its pages, their link annotations and the text
// that lies inside a rectangle of a page.
#pragma once

#include <QByteArray>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace Poppler {
class Document;
class Page;
} // namespace Poppler

namespace crawlmere::platform {

/// One link annotation of a page.
struct PdfLinkAnnotation {
    /// The annotation's rectangle in points (1/72 inch) in the page's coordinate space as
    /// displayed: origin at the top-left corner, y growing downwards, page rotation applied.
    QRectF bounds;
    /// The URI of the annotation's URI action, as written in the document; a null QString when
    /// the link does something else (a jump inside the document, a launch, a script...).
    QString url;
};

/// A document is read-only once opened and belongs to one thread at a time. Pages it hands
/// out keep the document alive as long as they live.
class PdfDocument {
public:
    /// One page of the document.
    class Page {
    public:
        Page(Page&&) noexcept;
        Page& operator=(Page&&) noexcept;
        ~Page();

        /// The page's size in points, page rotation applied.
        QSizeF size() const;
        /// The page's link annotations in the order of the page's annotation list. Annotations
        /// of other kinds are left out.
        std::vector<PdfLinkAnnotation> linkAnnotations() const;
        /// The text whose characters lie inside `rect` (points, same space as
        /// `PdfLinkAnnotation::bounds`), lines separated by line breaks. An empty rectangle
        /// gives the empty string (never the whole page).
        QString textInRect(const QRectF& rect) const;
        /// Lays out the page's text once, as `textInRect` does at each call, and gives up at
        /// `deadline`: true when the layout was done in time. Tells how long a `textInRect`
        /// of this page takes before it is asked for.
        bool layOutTextBefore(std::chrono::steady_clock::time_point deadline) const;

    private:
        friend class PdfDocument;
        Page(std::shared_ptr<Poppler::Document> document, std::unique_ptr<Poppler::Page> page);
        std::shared_ptr<Poppler::Document> m_document; // keeps the page's document alive
        std::unique_ptr<Poppler::Page> m_page;
    };

    /// Opens `data` as a PDF document. nullopt when the bytes are not a readable PDF or the
    /// document is locked by a password; `failure`, when given, then receives a short reason.
    static std::optional<PdfDocument> fromData(const QByteArray& data, QString* failure = nullptr);

    /// What the document's compressed streams (images left out) decode to, counted up to `cap`
    /// bytes: `cap` + 1 means more. Reading a page's text decodes its streams and lays out every
    /// character, so this tells a document that would take gigabytes before any text is read.
    /// Only Flate streams are counted. Any thread.
    static qint64 decodedStreamBytes(const QByteArray& data, qint64 cap);

    PdfDocument(PdfDocument&&) noexcept;
    PdfDocument& operator=(PdfDocument&&) noexcept;
    ~PdfDocument();

    int pageCount() const;
    /// The page at `index` (from 0), or nullopt when the index is out of range or the page
    /// cannot be read.
    std::optional<Page> page(int index) const;

private:
    explicit PdfDocument(std::shared_ptr<Poppler::Document> document);
    std::shared_ptr<Poppler::Document> m_document;
};

} // namespace crawlmere::platform
