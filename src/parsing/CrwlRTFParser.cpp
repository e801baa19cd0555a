// RTF link extraction: HYPERLINK field instructions and their field results.
#include "parsing/CrwlRTFParser.h"

#include "parsing/detail/DocumentText.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/Strings.h"

#include <algorithm>

namespace detail = crawlmere::parsing::detail;
using crawlmere::platform::strings::trimmingQuotesAndSpaces;
namespace Encoding = crawlmere::platform::Encoding;

namespace {

constexpr QLatin1StringView kQuoteOpening("HYPERLINK \"");
constexpr QLatin1StringView kEntityOpening("HYPERLINK &quot;");
constexpr QLatin1StringView kFieldResult("\\fldrslt");

} // namespace

std::unique_ptr<CrwlRTFParser> CrwlRTFParser::initWithData(const QByteArray& data)
{
    if (data.isNull()) {
        detail::parserLog(1, QStringLiteral("RTF data is invalid"));
        return nullptr;
    }
    const std::optional<QString> decoded
        = detail::decodeWithFallbacks(data, { Encoding::UTF8, Encoding::ISOLatin1, Encoding::ASCII });
    if (!decoded) {
        detail::documentParserError("CrwlRTFParser", QStringLiteral("the text cannot be decoded"));
        return nullptr;
    }
    const QString& text = *decoded;

    std::unique_ptr<CrwlRTFParser> parser(new CrwlRTFParser());
    parser->linkCollection.reserve(200);
    parser->linkTextCollection.reserve(200);

    FieldFinder fields;
    ResultFinder results;
    std::optional<FieldUrl> field = fields.next(text, 0);
    while (field) {
        // A field's result comes before the next field's instruction: one left open runs no
        // further, so no stretch of the text is read for two fields.
        const std::optional<FieldUrl> following = fields.next(text, field->urlStart + 11);
        const qsizetype limit = following ? following->opening : text.size();
        QString url
            = trimmingQuotesAndSpaces(QStringView(text).sliced(field->urlStart, field->urlEnd - field->urlStart));
        if (!url.isEmpty()) {
            if (parser->linkCollection.size() >= detail::kMaxDocumentLinks) {
                detail::documentParserError("CrwlRTFParser",
                    QStringLiteral("more than %1 links; the rest are ignored").arg(detail::kMaxDocumentLinks));
                break;
            }
            url.replace(QLatin1StringView("&amp;"), QLatin1StringView("&"));
            parser->linkCollection.append(url);
            parser->linkTextCollection.append(textOfFieldResult(text, field->closingEnd, limit, results));
        }
        field = following;
    }
    return parser;
}

std::optional<CrwlRTFParser::FieldUrl> CrwlRTFParser::firstHYPERLINK_OccurrenceInRTF(QStringView text, qsizetype from)
{
    FieldFinder finder;
    return finder.next(text, from);
}

std::optional<CrwlRTFParser::FieldUrl> CrwlRTFParser::FieldFinder::next(QStringView text, qsizetype from)
{
    if (from < 0 || from >= text.size())
        return std::nullopt;
    const qsizetype quote = m_quoteForm.in(text, from);
    const qsizetype entity = m_entityForm.in(text, from);
    if (quote < 0 && entity < 0)
        return std::nullopt;

    // Whichever form comes first; a document can mix both.
    const bool entityForm = quote < 0 || (entity >= 0 && entity < quote);
    const qsizetype opening = entityForm ? entity : quote;
    const QLatin1StringView closing = entityForm ? QLatin1StringView("&quot;") : QLatin1StringView("\"");
    FieldUrl field;
    field.opening = opening;
    field.urlStart = opening + (entityForm ? kEntityOpening.size() : kQuoteOpening.size());
    field.urlEnd = text.indexOf(closing, field.urlStart, Qt::CaseInsensitive);
    if (field.urlEnd < 0)
        return std::nullopt;
    field.closingEnd = field.urlEnd + closing.size();
    return field;
}

QString CrwlRTFParser::getSomeHYPERLINKtextFrom(QStringView text, qsizetype from)
{
    ResultFinder finder;
    return textOfFieldResult(text, from, text.size(), finder);
}

QString CrwlRTFParser::textOfFieldResult(QStringView text, qsizetype from, qsizetype limit, ResultFinder& finder)
{
    const qsizetype result = finder.results.in(text, from);
    if (result < 0 || result >= limit)
        return QStringLiteral("");
    // The text starts behind the control word, so switches of the instruction (a tooltip, say)
    // stay out of it.
    const qsizetype start = result + kFieldResult.size();
    qsizetype end = finder.groupEnds.in(text, start);
    if (end < 0 || end > limit)
        end = limit;
    // Only so much of a field result can end up in the text.
    end = std::min(end, start + 16 * detail::kMaxDocumentLinkText);
    QString cleaned
        = detail::capLinkText(extractTextFromRTFGuff(text.sliced(start, end - start), detail::kMaxDocumentLinkText));
    cleaned.squeeze(); // kept for the whole scan: no room to spare
    return cleaned;
}

QString CrwlRTFParser::extractTextFromRTFGuff(QStringView guff, qsizetype maxLength)
{
    QString text;
    bool inWord = false;
    bool kept = false;
    for (const QChar c : guff) {
        if (c == u'\r' || c == u'\n')
            continue; // RTF ignores line breaks: the parts either side are one word
        if (c == u' ') {
            inWord = false;
            continue;
        }
        if (!inWord) {
            inWord = true;
            kept = c != u'\\' && c != u'"' && c != u'{' && c != u'}';
            if (kept && !text.isEmpty())
                text += u' ';
        }
        if (kept) {
            if (text.size() > maxLength)
                break;
            text += c;
        }
    }
    return text;
}

std::optional<QString> CrwlRTFParser::getNextHref()
{
    if (posInLinkArray < 0 || posInLinkArray >= linkCollection.size())
        return std::nullopt;
    return linkCollection.at(posInLinkArray++);
}

QString CrwlRTFParser::getLinkText() const
{
    const int index = posInLinkArray - 1;
    if (index >= 0 && index < linkTextCollection.size())
        return linkTextCollection.at(index);
    return QStringLiteral("");
}
