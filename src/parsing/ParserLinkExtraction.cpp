// The page parsers of link extraction over the page scanner and the document link extractors.
#include "parsing/ParserLinkExtraction.h"

#include "parsing/CrwlDocumentParserFactory.h"
#include "parsing/CrwlParser.h"

namespace {

/// One parsed page: forwards to the parser it owns.
class ParsedPage final : public LinkExtractionParser {
public:
    explicit ParsedPage(std::unique_ptr<CrwlParser> parser)
        : m_parser(std::move(parser))
    {
    }

    std::optional<QString> getNextHref() override { return m_parser->getNextHref(); }
    QString getLinkText() const override { return m_parser->getLinkText(); }
    QString getRel() const override { return m_parser->getRel(); }
    QString getTypeAttribute() const override { return m_parser->getTypeAttribute(); }
    QString getHreflang() const override { return m_parser->getHreflang(); }
    QString getTargetAttr() const override { return m_parser->getTargetAttr(); }
    std::optional<int> getLineNumber() const override { return m_parser->getLineNumber(); }
    void setXMLMode() override { m_parser->setXMLMode(); }

    qint64 getLength() const override { return m_parser->getLength(); }
    QString getTitle() const override { return m_parser->getTitle(); }
    QString getCanonical() const override { return m_parser->getCanonical(); }
    QString getBaseHref() const override { return m_parser->getBaseHref(); }
    QStringList getHeadings() const override { return m_parser->getHeadings(); }
    QVariantList getMetaData() const override { return m_parser->getMetaData(); }
    bool getHeadContainsNofollow() const override { return m_parser->getHeadContainsNofollow(); }
    bool getHeadContainsNoindex() const override { return m_parser->getHeadContainsNoindex(); }
    QVariantList getJsonld() const override
    {
        QVariantList items;
        for (const QString& item : m_parser->getJsonld())
            items.append(item);
        return items;
    }
    qint64 getWordCount() const override { return m_parser->getWordCount(); }
    qint64 getFileSize() const override { return m_parser->getFileSize(); }
    QStringList getWarnings() const override { return m_parser->getWarnings(); }
    QStringList getNames() const override { return m_parser->getNames(); }
    QStringList getHttpLinkedFiles() const override { return m_parser->getHttpLinkedFiles(); }

    // Misspelled words only: the page's spelling count leaves grammar issues out.
    qint64 getSpellingCount() const override { return m_parser->getSpellingCount(); }
    QStringList getAllSpelling() const override { return m_parser->getAllSpelling(); }
    bool isKeywordStuffed() const override { return m_parser->isKeywordStuffed(); }

private:
    std::unique_ptr<CrwlParser> m_parser;
};

std::unique_ptr<LinkExtractionParser> wrap(std::unique_ptr<CrwlParser> parser)
{
    if (!parser)
        return nullptr;
    return std::make_unique<ParsedPage>(std::move(parser));
}

CrwlDocumentParserFactory::Kind factoryKind(LinkExtractionParsers::DocumentKind kind)
{
    using Kind = CrwlDocumentParserFactory::Kind;
    switch (kind) {
    case LinkExtractionParsers::DocumentKind::PDF:
        return Kind::PDF;
    case LinkExtractionParsers::DocumentKind::CSS:
        return Kind::CSS;
    case LinkExtractionParsers::DocumentKind::DOCX:
        return Kind::DOCX;
    case LinkExtractionParsers::DocumentKind::RTF:
        return Kind::RTF;
    }
    return Kind::PDF;
}

} // namespace

std::unique_ptr<LinkExtractionParser> ParserLinkExtraction::makeDocumentParser(
    DocumentKind kind, const QByteArray& data) const
{
    return wrap(CrwlDocumentParserFactory::make(factoryKind(kind), data));
}

std::unique_ptr<LinkExtractionParser> ParserLinkExtraction::makePageParser(const QByteArray& data,
    crawlmere::platform::EncodingId encoding, int fileType, const QVariantMap& crawlSettings) const
{
    return wrap(CrwlParser::initWithData(
        data, /*withSEO=*/true, /*checkNoIndex=*/true, encoding, fileType, crawlSettings, /*allowNoLinks=*/true));
}

std::unique_ptr<LinkExtractionParser> ParserLinkExtraction::makeSourceParser(
    const QByteArray& data, crawlmere::platform::EncodingId encoding, int fileType) const
{
    return wrap(CrwlParser::initWithData(data, /*withSEO=*/true, /*checkNoIndex=*/true, encoding, fileType,
        /*lazyload=*/false));
}
