// Link iteration: one URL at a time from the link records of an HTML page (or from a URL list or a
// sitemap), and the attributes of the record the last URL came from.
#include "parsing/CrwlParser.h"

#include "engine/CrawlSettingKeys.h"
#include "parsing/detail/DocumentText.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/Strings.h"

namespace detail = crawlmere::parsing::detail;
using crawlmere::platform::strings::trimmingQuotesAndSpaces;

std::optional<QString> CrwlParser::getNextHref()
{
    switch (m_fileType) {
    case CommaSeparatedList:
    case WhitespaceSeparatedList:
        return getNextHttp();
    case XMLSitemap:
        return getNextXml();
    default:
        break;
    }
    while (cursor >= 0 && cursor < collection.size()) {
        const CrwlLinkRecord& record = collection.at(cursor);
        if (subCursor >= record.urlArray.size()) {
            ++cursor;
            subCursor = 0;
            continue;
        }
        QString url = record.urlArray.at(subCursor++);
        if (url.contains(u'\\'))
            url.replace(QLatin1StringView("\\/"), QLatin1StringView("/"));
        if (url.contains(u'%'))
            url.replace(QLatin1StringView("%5C/"), QLatin1StringView("/"));
        // Trimmed unless the user default says NO; read once per walk.
        if (!m_keepHrefsAsWritten)
            m_keepHrefsAsWritten = detail::defaultsObject(crawlKey::trimWhitespace).isValid()
                && !detail::defaultsBool(crawlKey::trimWhitespace);
        return *m_keepHrefsAsWritten ? url : trimmingQuotesAndSpaces(url);
    }
    return std::nullopt;
}

const CrwlLinkRecord* CrwlParser::currentRecord() const
{
    if (m_fileType != HTML || cursor < 0 || cursor >= collection.size()) {
        detail::parserLog(4, QStringLiteral("link getter called outside the link records"));
        return nullptr;
    }
    return &collection.at(cursor);
}

QString CrwlParser::getLinkText() const
{
    const CrwlLinkRecord* record = currentRecord();
    if (!record)
        return QStringLiteral("");
    if (record->linkText && !record->linkText->isEmpty())
        return *record->linkText;
    if (record->altText) {
        if (record->altText->contains(QLatin1StringView("[alt]:")))
            return *record->altText;
        return QStringLiteral("[alt]: ") + *record->altText;
    }
    return QStringLiteral("");
}

QString CrwlParser::getRel() const
{
    const CrwlLinkRecord* record = currentRecord();
    return record && record->rel ? *record->rel : QStringLiteral("");
}

QString CrwlParser::getTypeAttribute() const
{
    const CrwlLinkRecord* record = currentRecord();
    return record && record->type ? *record->type : QStringLiteral("");
}

QString CrwlParser::getHreflang() const
{
    const CrwlLinkRecord* record = currentRecord();
    return record && record->hreflang ? *record->hreflang : QStringLiteral("");
}

QString CrwlParser::getTargetAttr() const
{
    const CrwlLinkRecord* record = currentRecord();
    return record && record->target ? *record->target : QStringLiteral("");
}

std::optional<int> CrwlParser::getLineNumber() const
{
    const CrwlLinkRecord* record = currentRecord();
    return record ? record->lineNumber : std::nullopt;
}
