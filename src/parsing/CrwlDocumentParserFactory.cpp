// The choice among the PDF, style-sheet, DOCX and RTF parsers.
#include "parsing/CrwlDocumentParserFactory.h"

#include "engine/CrawlSettingKeys.h"
#include "parsing/CrwlCSSParser.h"
#include "parsing/CrwlDOCXParser.h"
#include "parsing/CrwlPDFParser.h"
#include "parsing/CrwlRTFParser.h"

std::optional<CrwlDocumentParserFactory::Kind> CrwlDocumentParserFactory::kindFor(
    const FileTypes& types, const Switches& switches)
{
    if (types.isPDF && switches.shouldParsePDFs)
        return Kind::PDF;
    if (types.isCSS && switches.shouldParseCSS)
        return Kind::CSS;
    if (types.isDOCX && switches.shouldParseDOCXs)
        return Kind::DOCX;
    if (types.isRTF && switches.shouldParseRTFs)
        return Kind::RTF;
    return std::nullopt;
}

std::unique_ptr<CrwlParser> CrwlDocumentParserFactory::make(Kind kind, const QByteArray& data)
{
    switch (kind) {
    case Kind::PDF:
        return CrwlPDFParser::initWithData(data);
    case Kind::CSS:
        return CrwlCSSParser::initWithData(data);
    case Kind::DOCX:
        return CrwlDOCXParser::initWithData(data);
    case Kind::RTF:
        return CrwlRTFParser::initWithData(data);
    }
    return nullptr;
}

QString CrwlDocumentParserFactory::settingsKey(Kind kind)
{
    switch (kind) {
    case Kind::PDF:
        return crawlKey::shouldParsePDFs;
    case Kind::CSS:
        return crawlKey::shouldParseCSS;
    case Kind::DOCX:
        return crawlKey::shouldParseDOCXs;
    case Kind::RTF:
        return crawlKey::shouldParseRTFs;
    }
    return {};
}
