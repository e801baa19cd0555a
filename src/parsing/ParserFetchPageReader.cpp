// The page parser's answers to the fetch.
#include "parsing/ParserFetchPageReader.h"

#include "parsing/CrwlFormFieldParser.h"
#include "parsing/CrwlParser.h"

#include <string_view>

std::optional<QString> ParserFetchPageReader::pageIsMetaRefresh(const QByteArray& data) const
{
    return CrwlParser::pageIsMetaRefresh(std::string_view(data.constData(), size_t(data.size())));
}

std::optional<LoginFormFields> ParserFetchPageReader::readLoginForm(const QString& url) const
{
    const std::unique_ptr<CrwlFormFieldParser> parser = CrwlFormFieldParser::initWithUrl(url);
    if (!parser)
        return std::nullopt;
    return LoginFormFields { parser->getCollection(), parser->getFormAction() };
}

void ParserFetchPageReader::installAsFetchPageReader()
{
    FetchPageReader::install(std::make_shared<ParserFetchPageReader>());
}
