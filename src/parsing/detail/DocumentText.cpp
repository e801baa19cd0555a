// Text helpers shared by the document parsers.
#include "parsing/detail/DocumentText.h"

#include "parsing/detail/ParserDefaults.h"

#include <algorithm>

namespace crawlmere::parsing::detail {

std::optional<QString> decodeWithFallbacks(
    const QByteArray& bytes, std::initializer_list<crawlmere::platform::EncodingId> encodings)
{
    for (const crawlmere::platform::EncodingId encoding : encodings) {
        if (auto text = crawlmere::platform::TextEncoding::decode(bytes, encoding))
            return text;
    }
    return std::nullopt;
}

QString capLinkText(QString text)
{
    if (text.size() <= kMaxDocumentLinkText)
        return text;
    qsizetype cut = kMaxDocumentLinkText;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    text.truncate(cut);
    return text;
}

qsizetype NextOccurrence::in(QStringView text, qsizetype from)
{
    if (m_searchedFrom >= 0 && from >= m_searchedFrom && (m_found < 0 || m_found >= from))
        return m_found;
    if (m_searchedFrom >= 0 && from < m_searchedFrom && m_searchedFrom <= text.size()) {
        // Behind the earlier search only the stretch before it is new; past it the answer stands.
        const qsizetype stop = std::min(text.size(), m_searchedFrom + m_needle.size() - 1);
        const qsizetype found = text.first(stop).indexOf(m_needle, from, m_sensitivity);
        m_searchedFrom = from;
        if (found >= 0)
            m_found = found;
        return m_found;
    }
    m_searchedFrom = from;
    m_found = text.indexOf(m_needle, from, m_sensitivity);
    return m_found;
}

void documentParserError(const char* parser, const QString& message)
{
    parserLog(0, QStringLiteral("%1: %2").arg(QLatin1StringView(parser), message));
}

} // namespace crawlmere::parsing::detail
