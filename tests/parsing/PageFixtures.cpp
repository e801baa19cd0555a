// Fixture-page runner shared by the scanner tests; the .expect format is in PageFixtures.h.
#include "PageFixtures.h"
#include "engine/CrawlSettingKeys.h"

#include "parsing/CrwlParser.h"
#include "parsing/detail/ParserDefaults.h"
#include "support/Fixtures.h"

#include <QDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>

using crawlmere::test::ExactBuffer;
using crawlmere::test::fixturePath;
using crawlmere::test::readFixture;
namespace detail = crawlmere::parsing::detail;

namespace crawlmere::test {

namespace {

QString renderRecord(const CrwlLinkRecord& record)
{
    QStringList urls;
    for (const QString& url : record.urlArray)
        urls << (url.isEmpty() ? QStringLiteral("\"\"") : url);
    QStringList fields { urls.join(u' ') };
    if (record.lineNumber)
        fields << QStringLiteral("line=%1").arg(*record.lineNumber);
    const std::pair<const char*, const std::optional<QString>*> optional[] = {
        { "text", &record.linkText },
        { "alt", &record.altText },
        { "rel", &record.rel },
        { "type", &record.type },
        { "hreflang", &record.hreflang },
        { "target", &record.target },
    };
    for (const auto& [name, value] : optional)
        if (*value)
            fields << QStringLiteral("%1=%2").arg(QLatin1StringView(name), **value);
    return fields.join(QStringLiteral(" | "));
}

// What the getters answer after one getNextHref, each field only when it is not empty.
QString renderHref(const QString& url, const CrwlParser& parser)
{
    QStringList fields { url.isEmpty() ? QStringLiteral("\"\"") : url };
    const std::pair<const char*, QString> answers[] = {
        { "text", parser.getLinkText() },
        { "rel", parser.getRel() },
        { "type", parser.getTypeAttribute() },
        { "hreflang", parser.getHreflang() },
        { "target", parser.getTargetAttr() },
    };
    for (const auto& [name, value] : answers)
        if (!value.isEmpty())
            fields << QStringLiteral("%1=%2").arg(QLatin1StringView(name), value);
    if (const auto line = parser.getLineNumber())
        fields << QStringLiteral("line=%1").arg(*line);
    return fields.join(QStringLiteral(" | "));
}

QString renderMeta(const QVariant& tag)
{
    const QVariantMap map = tag.toMap();
    QStringList fields;
    for (const char* key : { "content", "name", "itemprop", "property" })
        if (map.contains(QLatin1StringView(key)))
            fields << QStringLiteral("%1=%2").arg(QLatin1StringView(key), map.value(QLatin1StringView(key)).toString());
    return fields.join(QStringLiteral(" | "));
}

struct Expectation {
    QMap<QString, QString> options;
    QMap<QString, QString> facts;
    QMap<QString, std::optional<QStringList>> lists; // link, href, meta, heading, name, warning
};

Expectation readExpectation(const QString& relative)
{
    static const QStringList listKeys { QStringLiteral("link"), QStringLiteral("href"), QStringLiteral("meta"),
        QStringLiteral("heading"), QStringLiteral("name"), QStringLiteral("warning") };
    Expectation expected;
    const QString text = QString::fromUtf8(readFixture(relative));
    for (const QString& rawLine : text.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0) {
            ADD_FAILURE() << "bad expectation line: " << line.toStdString();
            continue;
        }
        const QString key = line.left(colon).trimmed();
        QString value = line.mid(colon + 1).trimmed();
        if (value.endsWith(QLatin1StringView("\\s")))
            value = value.chopped(2) + u' ';
        if (key == u"options") {
            for (const QString& option : value.split(u' ', Qt::SkipEmptyParts))
                expected.options.insert(option.section(u'=', 0, 0), option.section(u'=', 1));
        } else if (listKeys.contains(key)) {
            auto& list = expected.lists[key];
            list = list.value_or(QStringList()) << value;
        } else if (key.endsWith(u's') && listKeys.contains(key.chopped(1))) {
            expected.lists[key.chopped(1)] = QStringList(); // "links: none" and the like
        } else {
            expected.facts.insert(key, value);
        }
    }
    return expected;
}

void checkPage(const QString& family, const QString& name)
{
    SCOPED_TRACE((family + u'/' + name).toStdString());
    const Expectation expected = readExpectation(QStringLiteral("pages/%1/%2.expect").arg(family, name));
    auto option = [&](const char* key, int fallback) {
        return expected.options.value(QLatin1StringView(key), QString::number(fallback)).toLongLong();
    };
    detail::setParserDefaults({
        { QStringLiteral("htmlValidationEnabled"), option("validation", 1) != 0 },
        { QStringLiteral("parserContentConsolidateWhitespace"), option("consolidate", 0) != 0 },
        { QStringLiteral("parserContentOnlyParas"), option("onlyParas", 0) != 0 },
        { QStringLiteral("parserContentIncludeAltText"), option("includeAlt", 0) != 0 },
        { QStringLiteral("parserContentIgnoreNav"), option("ignoreNav", 0) != 0 },
        { QStringLiteral("parserContentIgnoreHeader"), option("ignoreHeader", 0) != 0 },
    });

    const ExactBuffer page(readFixture(QStringLiteral("pages/%1/%2.html").arg(family, name)));
    CrwlParser::Options options;
    options.withSEO = option("seo", 1) != 0;
    options.useEncoding = static_cast<CrwlParser::EncodingId>(option("encoding", 0));
    options.allowNoLinks = option("allowNoLinks", 1) != 0;
    options.linkedFiles = option(crawlKey::linkedFiles.name(), 0) != 0;
    options.searchMetaDataForURLs = option("searchMeta", 0) != 0;
    options.checkImages = option(crawlKey::checkImages.name(), 0) != 0;
    options.lazyload = option("lazyload", 0) != 0;
    options.collectNames = option("collectNames", 0) != 0;
    // The parser shares the bytes it is given: hand it the exact-size heap copy without copying.
    const QByteArray bytes = QByteArray::fromRawData(page.data(), static_cast<qsizetype>(page.size()));
    const auto parser = CrwlParser::initWithData(bytes, options);
    ASSERT_TRUE(parser);

    for (auto it = expected.facts.constBegin(); it != expected.facts.constEnd(); ++it) {
        const QString& key = it.key();
        const QString& want = it.value();
        if (key == u"title")
            EXPECT_EQ(parser->getTitle(), want);
        else if (key == u"canonical")
            EXPECT_EQ(parser->getCanonical(), want);
        else if (key == u"base")
            EXPECT_EQ(parser->getBaseHref().isNull() ? QStringLiteral("none") : parser->getBaseHref(), want);
        else if (key == u"noindex")
            EXPECT_EQ(parser->getHeadContainsNoindex(), want == u"1");
        else if (key == u"nofollow")
            EXPECT_EQ(parser->getHeadContainsNofollow(), want == u"1");
        else if (key == u"encoding")
            EXPECT_EQ(parser->encoding(), want.toULongLong());
        else if (key == u"text")
            EXPECT_EQ(parser->getTextContent(), want);
        else if (key == u"words")
            EXPECT_EQ(parser->getWordCount(), want.toLongLong());
        else
            ADD_FAILURE() << "unknown expectation " << key.toStdString();
    }
    const auto compare = [&](const char* key, const QStringList& got) {
        const auto it = expected.lists.constFind(QLatin1StringView(key));
        if (it != expected.lists.constEnd() && *it) {
            EXPECT_EQ(got, **it) << key;
        }
    };
    QStringList records;
    for (const CrwlLinkRecord& record : parser->getCollection())
        records << renderRecord(record);
    compare("link", records);
    QStringList metas;
    for (const QVariant& tag : parser->getMetaData())
        metas << renderMeta(tag);
    compare("meta", metas);
    QStringList headings = parser->getHeadings();
    for (QString& heading : headings)
        heading.replace(u'\t', QLatin1StringView("\\t"));
    compare("heading", headings);
    compare("name", parser->getNames());
    compare("warning", parser->getWarnings());
    QStringList hrefs;
    while (const auto url = parser->getNextHref())
        hrefs << renderHref(*url, *parser);
    compare("href", hrefs);
    if (qEnvironmentVariableIsSet("CRAWLMERE_DUMP_EXPECT")) {
        // Prints what the scanner found in .expect form, for writing a new fixture's expectation.
        QStringList out;
        out << QStringLiteral("text: ") + parser->getTextContent() << QStringLiteral("words: %1").arg(parser->getWordCount());
        const auto list = [&](const char* key, const QStringList& values) {
            if (values.isEmpty())
                out << QStringLiteral("%1s: none").arg(QLatin1StringView(key));
            for (QString value : values)
                out << QStringLiteral("%1: %2").arg(QLatin1StringView(key), value.endsWith(u' ') ? value.chopped(1) + QStringLiteral("\\s") : value);
        };
        list("link", records);
        list("href", hrefs);
        list("heading", headings);
        list("name", parser->getNames());
        list("warning", parser->getWarnings());
        std::printf("=== %s/%s\n%s\n", qPrintable(family), qPrintable(name), qPrintable(out.join(u'\n')));
    }
    detail::setParserDefaults({});
}

} // namespace

void checkPageFamily(const QString& family)
{
    const QStringList expectations = QDir(fixturePath(QStringLiteral("pages/") + family))
                                         .entryList({ QStringLiteral("*.expect") }, QDir::Files, QDir::Name);
    ASSERT_FALSE(expectations.isEmpty()) << family.toStdString();
    for (const QString& file : expectations)
        checkPage(family, file.chopped(7));
}

} // namespace crawlmere::test
