// Runs every page of tests/fixtures/pages/head through the scanner and compares the results with
// the page's .expect file. Format of an .expect file, one item a line ("#" starts a comment):
//   options: seo=1 encoding=0 linkedFiles=0 searchMeta=0 checkImages=0 allowNoLinks=1 validation=1
//   encoding: <number>             the encoding after the charset sniff
//   title: <text> | canonical: <text> | base: <text> (or "base: none") | noindex: 0/1 | nofollow: 0/1
//   meta: content=… | name=… | itemprop=… | property=…     (every meta tag, in order; "metas: none")
//   link: <url> <url> ("" for an empty one) | line=N | text=… | alt=… | rel=… | type=… | hreflang=… | target=…
//         (every record, in order, with exactly the fields it has; "links: none")
//   warning: <text>                  (every warning, in order; "warnings: none")
#include "parsing/CrwlParser.h"
#include "parsing/detail/ParserDefaults.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <ostream>

using crawlmere::test::ExactBuffer;
using crawlmere::test::fixturePath;
using crawlmere::test::readFixture;
namespace detail = crawlmere::parsing::detail;

// Readable failure messages.
void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

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
    std::optional<QStringList> links;
    std::optional<QStringList> metas;
    std::optional<QStringList> warnings;
};

Expectation readExpectation(const QString& relative)
{
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
        const QString value = line.mid(colon + 1).trimmed();
        if (key == u"options") {
            for (const QString& option : value.split(u' ', Qt::SkipEmptyParts))
                expected.options.insert(option.section(u'=', 0, 0), option.section(u'=', 1));
        } else if (key == u"link") {
            expected.links = expected.links.value_or(QStringList()) << value;
        } else if (key == u"links") {
            expected.links = QStringList();
        } else if (key == u"meta") {
            expected.metas = expected.metas.value_or(QStringList()) << value;
        } else if (key == u"metas") {
            expected.metas = QStringList();
        } else if (key == u"warning") {
            expected.warnings = expected.warnings.value_or(QStringList()) << value;
        } else if (key == u"warnings") {
            expected.warnings = QStringList();
        } else {
            expected.facts.insert(key, value);
        }
    }
    return expected;
}

void checkPage(const QString& name)
{
    SCOPED_TRACE(name.toStdString());
    const Expectation expected = readExpectation(QStringLiteral("pages/head/%1.expect").arg(name));
    auto option = [&](const char* key, int fallback) {
        return expected.options.value(QLatin1StringView(key), QString::number(fallback)).toLongLong();
    };
    detail::setParserDefaults({ { QStringLiteral("htmlValidationEnabled"), option("validation", 1) != 0 } });

    const ExactBuffer page(readFixture(QStringLiteral("pages/head/%1.html").arg(name)));
    CrwlParser::Options options;
    options.withSEO = option("seo", 1) != 0;
    options.useEncoding = static_cast<CrwlParser::EncodingId>(option("encoding", 0));
    options.allowNoLinks = option("allowNoLinks", 1) != 0;
    options.linkedFiles = option("linkedFiles", 0) != 0;
    options.searchMetaDataForURLs = option("searchMeta", 0) != 0;
    options.checkImages = option("checkImages", 0) != 0;
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
        else
            ADD_FAILURE() << "unknown expectation " << key.toStdString();
    }
    if (expected.links) {
        QStringList got;
        for (const CrwlLinkRecord& record : parser->getCollection())
            got << renderRecord(record);
        EXPECT_EQ(got, *expected.links);
    }
    if (expected.metas) {
        QStringList got;
        for (const QVariant& tag : parser->getMetaData())
            got << renderMeta(tag);
        EXPECT_EQ(got, *expected.metas);
    }
    if (expected.warnings) {
        EXPECT_EQ(parser->getWarnings(), *expected.warnings);
    }
    detail::setParserDefaults({});
}

} // namespace

TEST(CrwlParserHead, FixturePages)
{
    const QStringList expectations = QDir(fixturePath(QStringLiteral("pages/head")))
                                         .entryList({ QStringLiteral("*.expect") }, QDir::Files, QDir::Name);
    ASSERT_FALSE(expectations.isEmpty());
    for (const QString& file : expectations)
        checkPage(file.chopped(7));
}
