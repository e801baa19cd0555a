// DOCX link extraction from the document and relationships entries of the archive.
#include "parsing/CrwlDOCXParser.h"

#include "parsing/CrwlRTFParser.h"
#include "parsing/detail/DocumentText.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/Strings.h"
#include "platform/ZipArchive.h"

#include <algorithm>

namespace detail = crawlmere::parsing::detail;
using crawlmere::platform::strings::trimmingQuotesAndSpaces;
namespace Encoding = crawlmere::platform::Encoding;
using crawlmere::platform::ZipArchive;

namespace {

constexpr QLatin1StringView kDocumentEntry("word/document.xml");
constexpr QLatin1StringView kRelationshipsEntry("word/_rels/document.xml.rels");

// The entry decoded as UTF-8, else ISO 8859-1, ISO 8859-2, UTF-16, ASCII; nullopt with a log line
// when it is missing, too large or undecodable.
std::optional<QString> readTextEntry(
    const ZipArchive& archive, QLatin1StringView name, qint64 maxBytes, const char* missingMessage)
{
    const ZipArchive::EntryResult entry = archive.readEntry(name, maxBytes);
    if (!entry.bytes) {
        switch (entry.error) {
        case ZipArchive::EntryError::Missing:
            detail::documentParserError("CrwlDOCXParser", QString::fromLatin1(missingMessage).arg(name));
            break;
        case ZipArchive::EntryError::TooLarge:
        case ZipArchive::EntryError::Unreadable:
            detail::documentParserError("CrwlDOCXParser", entry.message);
            break;
        }
        return std::nullopt;
    }
    std::optional<QString> text = detail::decodeWithFallbacks(
        *entry.bytes, { Encoding::UTF8, Encoding::ISOLatin1, Encoding::ISOLatin2, Encoding::Unicode, Encoding::ASCII });
    if (!text)
        detail::documentParserError("CrwlDOCXParser", QStringLiteral("cannot decode %1").arg(name));
    return text;
}

// The value of the first attribute `name` (letter case ignored) inside `tag`, up to the next
// double quote; nullopt when there is none.
std::optional<QStringView> attributeValue(QStringView tag, QLatin1StringView name)
{
    qsizetype at = 0;
    while ((at = tag.indexOf(name, at, Qt::CaseInsensitive)) >= 0) {
        // The name must start a word: "Id=" is not the tail of "rId=".
        const bool startsWord = at == 0 || tag.at(at - 1).isSpace();
        const qsizetype valueStart = at + name.size();
        if (startsWord && valueStart < tag.size() && tag.at(valueStart) == u'"') {
            const qsizetype valueEnd = tag.indexOf(u'"', valueStart + 1);
            if (valueEnd < 0)
                return std::nullopt;
            return tag.sliced(valueStart + 1, valueEnd - valueStart - 1);
        }
        at = valueStart;
    }
    return std::nullopt;
}

} // namespace

std::unique_ptr<CrwlDOCXParser> CrwlDOCXParser::initWithData(const QByteArray& data, qint64 maxEntryBytes)
{
    if (data.isNull()) {
        detail::parserLog(1, QStringLiteral("DOCX data is invalid"));
        return nullptr;
    }
    QString failure;
    const std::optional<ZipArchive> archive = ZipArchive::fromData(data, &failure);
    if (!archive) {
        detail::documentParserError("CrwlDOCXParser", QStringLiteral("cannot open the document: %1").arg(failure));
        return nullptr;
    }
    const std::optional<QString> relationships
        = readTextEntry(*archive, kRelationshipsEntry, maxEntryBytes, "unable to find rels document at %1");
    if (!relationships)
        return nullptr;
    const std::optional<QString> document
        = readTextEntry(*archive, kDocumentEntry, maxEntryBytes, "unable to find word document at %1");
    if (!document)
        return nullptr;

    std::unique_ptr<CrwlDOCXParser> parser(new CrwlDOCXParser());
    parser->setPageData(data);
    parser->linkCollection.reserve(200);
    parser->linkTextCollection.reserve(200);
    parser->collectHyperlinkElements(*document, *relationships);
    parser->collectFieldCodes(*document);
    return parser;
}

void CrwlDOCXParser::addLink(QString url, QString text)
{
    if (capReached)
        return;
    if (linkCollection.size() >= detail::kMaxDocumentLinks) {
        capReached = true;
        detail::documentParserError("CrwlDOCXParser",
            QStringLiteral("more than %1 links; the rest are ignored").arg(detail::kMaxDocumentLinks));
        return;
    }
    url.replace(QLatin1StringView("&amp;"), QLatin1StringView("&"));
    linkCollection.append(url);
    linkTextCollection.append(detail::capLinkText(std::move(text)));
}

void CrwlDOCXParser::collectHyperlinkElements(QStringView document, QStringView relationships)
{
    static constexpr QLatin1StringView kOpening("<w:hyperlink");
    static constexpr QLatin1StringView kClosing("</w:hyperlink>");
    detail::NextOccurrence closings(kClosing, Qt::CaseSensitive);
    qsizetype from = 0;
    while (!capReached) {
        const qsizetype opening = document.indexOf(kOpening, from, Qt::CaseInsensitive);
        if (opening < 0)
            break;
        const qsizetype start = opening + kOpening.size();
        const qsizetype end = closings.in(document, start);
        if (end < 0)
            break;
        const QStringView element = document.sliced(start, end - start);
        if (!trimmingQuotesAndSpaces(element).isEmpty()) {
            // The relationship id belongs to the element's own start tag; an id further in (an
            // image inside a bookmark link, say) is not the link's.
            const qsizetype tagEnd = element.indexOf(u'>');
            const QStringView startTag = tagEnd < 0 ? element : element.first(tagEnd);
            const std::optional<QStringView> rId = attributeValue(startTag, QLatin1StringView("r:Id="));
            if (rId && !rId->isEmpty()) {
                if (std::optional<QString> url = urlFromRelFile(relationships, *rId))
                    addLink(std::move(*url), extractedTextFromXML(element, detail::kMaxDocumentLinkText));
            }
        }
        from = start + 12;
    }
}

void CrwlDOCXParser::collectFieldCodes(QStringView document)
{
    // How far behind its URL a field's text is looked for: the markup between a field's
    // instruction and its end is a few kilobytes at most.
    static constexpr qsizetype kMaxFieldSpan = 64 * 1024;
    CrwlRTFParser::FieldFinder fields;
    detail::NextOccurrence fieldEnd(QLatin1StringView("w:fldCharType=\"end\""), Qt::CaseInsensitive);
    detail::NextOccurrence simpleFieldEnd(QLatin1StringView("</w:fldSimple>"), Qt::CaseInsensitive);
    qsizetype from = 0;
    while (!capReached) {
        const std::optional<CrwlRTFParser::FieldUrl> field = fields.next(document, from);
        if (!field)
            break;
        QString url = trimmingQuotesAndSpaces(document.sliced(field->urlStart, field->urlEnd - field->urlStart));
        if (!url.isEmpty()) {
            // The field's text ends with the field: at its end mark, or at the end of a simple
            // field, which has no end mark.
            qsizetype end = fieldEnd.in(document, field->urlEnd);
            const qsizetype simpleEnd = simpleFieldEnd.in(document, field->urlEnd);
            if (simpleEnd >= 0 && (end < 0 || simpleEnd < end))
                end = simpleEnd;
            if (end < 0)
                end = document.size();
            end = std::min(end, field->urlEnd + kMaxFieldSpan);
            addLink(std::move(url),
                extractedTextFromXML(
                    document.sliced(field->urlEnd, end - field->urlEnd), detail::kMaxDocumentLinkText));
        }
        from = field->urlStart + 11;
    }
}

std::optional<QString> CrwlDOCXParser::urlFromRelFile(QStringView relationships, QStringView rId)
{
    // Each relationship is one element; its Id and Target may come in any order, and one id
    // can be the beginning of another ("rId1" and "rId10"), so ids compare whole.
    static constexpr QLatin1StringView kElement("<Relationship");
    qsizetype from = 0;
    for (;;) {
        qsizetype start = relationships.indexOf(kElement, from, Qt::CaseInsensitive);
        if (start < 0)
            return std::nullopt;
        start += kElement.size();
        if (start < relationships.size() && relationships.at(start).isLetter()) {
            from = start; // "<Relationships", the list itself
            continue;
        }
        qsizetype end = relationships.indexOf(u'>', start);
        if (end < 0)
            end = relationships.size();
        const QStringView element = relationships.sliced(start, end - start);
        const std::optional<QStringView> id = attributeValue(element, QLatin1StringView("Id="));
        if (id && id->compare(rId, Qt::CaseInsensitive) == 0) {
            const std::optional<QStringView> target = attributeValue(element, QLatin1StringView("Target="));
            if (!target)
                return std::nullopt;
            return target->toString();
        }
        from = end;
    }
}

QString CrwlDOCXParser::extractedTextFromXML(QStringView xml, qsizetype maxCharacters)
{
    QString text;
    bool outsideTag = false;
    for (const QChar c : xml) {
        if (text.size() >= maxCharacters && !text.back().isHighSurrogate())
            break;
        if (c == u'>') {
            outsideTag = true;
        } else if (c == u'<') {
            outsideTag = false;
        } else if (outsideTag) {
            text.append(c);
        }
    }
    return CrwlParser::unescapeEntities(text);
}

std::optional<QString> CrwlDOCXParser::getNextHref()
{
    if (posInLinkArray < 0 || posInLinkArray >= linkCollection.size())
        return std::nullopt;
    return linkCollection.at(posInLinkArray++);
}

QString CrwlDOCXParser::getLinkText() const
{
    const int index = posInLinkArray - 1;
    if (index >= 0 && index < linkTextCollection.size())
        return linkTextCollection.at(index);
    return QStringLiteral("");
}
