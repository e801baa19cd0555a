// Login-form reading: hidden fields, quoting, comments, the last form's action, charsets, and
// loading the page over HTTP.
#include "parsing/CrwlFormFieldParser.h"
#include "engine/CrawlSettingKeys.h"

#include "parsing/detail/ParserDefaults.h"

#include "support/Fixtures.h"
#include "support/LoopbackServer.h"

#include <QVariantMap>
#include <gtest/gtest.h>

using crawlmere::test::LoopbackServer;
using crawlmere::test::readFixture;

namespace {

std::unique_ptr<CrwlFormFieldParser> parseFixture(const QString& name, CrwlFormFieldParser::EncodingId encoding = 0)
{
    return CrwlFormFieldParser::initWithData(readFixture(QStringLiteral("pages/forms/") + name), encoding);
}

QVariantMap field(std::initializer_list<std::pair<const char*, QVariant>> entries)
{
    QVariantMap map;
    for (const auto& [key, value] : entries)
        map.insert(QString::fromLatin1(key), value);
    return map;
}

} // namespace

TEST(CrwlFormFieldParserTest, HiddenFieldsWithQuotesCaseAndReferences)
{
    const auto parser = parseFixture(QStringLiteral("login-hidden.html"));
    ASSERT_TRUE(parser);
    // The commented-out input is not recorded; every other input gives one record, the submit
    // button an empty one.
    const QList<QVariantMap> expected = {
        field({ { "name", QStringLiteral("csrf_token") }, { "value", QStringLiteral("ab+c/d==") }, { "hidden", true } }),
        field({ { "name", QStringLiteral("session") }, { "value", QStringLiteral("séq 1") }, { "hidden", true } }),
        field({ { "name", QStringLiteral("username") }, { "value", QStringLiteral("") } }),
        field({ { "name", QStringLiteral("password") } }),
        QVariantMap(),
    };
    EXPECT_EQ(parser->getCollection(), expected);
    // Single quotes, a relative path, "&amp;" decoded.
    EXPECT_EQ(parser->getFormAction(), QStringLiteral("/account/login?next=a&b"));
}

TEST(CrwlFormFieldParserTest, UnquotedValuesEndAtWhitespaceOrTheTagEnd)
{
    const auto parser = parseFixture(QStringLiteral("unquoted.html"));
    ASSERT_TRUE(parser);
    const QList<QVariantMap> expected = {
        field({ { "name", QStringLiteral("first") }, { "value", QStringLiteral("alpha") }, { "hidden", true } }),
        field({ { "name", QStringLiteral("second") }, { "value", QStringLiteral("beta") }, { "hidden", true } }),
        field({ { "name", QStringLiteral("third") }, { "value", QStringLiteral("gamma") } }),
    };
    EXPECT_EQ(parser->getCollection(), expected);
    EXPECT_EQ(parser->getFormAction(), QStringLiteral("/go"));
}

TEST(CrwlFormFieldParserTest, LastFormWithAnActionWins)
{
    const auto parser = parseFixture(QStringLiteral("two-forms.html"));
    ASSERT_TRUE(parser);
    // "<form>" without white space after the word is no form tag; an empty action is ignored.
    EXPECT_EQ(parser->getFormAction(), QStringLiteral("/login/submit"));
    ASSERT_EQ(parser->getCollection().size(), 3);
    EXPECT_EQ(parser->getCollection().at(2).value(QStringLiteral("value")).toString(), QStringLiteral("x2"));
}

TEST(CrwlFormFieldParserTest, TheWordHiddenAnywhereInTheTagMarksItHidden)
{
    const auto parser = parseFixture(QStringLiteral("hidden-in-value.html"));
    ASSERT_TRUE(parser);
    const auto& fields = parser->getCollection();
    ASSERT_EQ(fields.size(), 3);
    EXPECT_TRUE(fields.at(0).value(QStringLiteral("hidden")).toBool());
    EXPECT_FALSE(fields.at(1).contains(QStringLiteral("hidden")));
    EXPECT_TRUE(fields.at(2).value(QStringLiteral("hidden")).toBool());
}

TEST(CrwlFormFieldParserTest, DeclaredCharsetDecodesValuesAndAction)
{
    // Given as UTF-8, the page's own charset (ISO-8859-1) wins.
    const auto parser = parseFixture(QStringLiteral("charset-latin1.html"), crawlmere::platform::Encoding::UTF8);
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getFormAction(), QStringLiteral("/café"));
    ASSERT_EQ(parser->getCollection().size(), 1);
    EXPECT_EQ(parser->getCollection().at(0).value(QStringLiteral("value")).toString(), QStringLiteral("Zürich"));
}

TEST(CrwlFormFieldParserTest, PageWithoutFormOrInputs)
{
    const auto parser = parseFixture(QStringLiteral("no-form.html"));
    ASSERT_TRUE(parser);
    EXPECT_TRUE(parser->getCollection().isEmpty());
    EXPECT_TRUE(parser->getFormAction().isNull());
    EXPECT_FALSE(CrwlFormFieldParser::initWithData(QByteArray(), 0));
}

TEST(CrwlFormFieldParserTest, OverlongValueIsCutAndUnclosedTagsDoNotOverrun)
{
    QByteArray page = "<form action=\"/x\"><input type=hidden name=\"n\" value=\"";
    page += QByteArray(5000, 'v');
    page += "\"><input name=\"tail\" value=\"unterminated";
    const auto parser = CrwlFormFieldParser::initWithData(page, 0);
    ASSERT_TRUE(parser);
    // The unclosed last input is never committed.
    ASSERT_EQ(parser->getCollection().size(), 1);
    EXPECT_EQ(parser->getCollection().at(0).value(QStringLiteral("value")).toString().size(),
        CrwlFormFieldParser::kMaxValueBytes);
    // A page cut inside a comment or a tag ends the scan quietly.
    EXPECT_TRUE(CrwlFormFieldParser::initWithData("<!-- <input name=a>", 0));
    EXPECT_TRUE(CrwlFormFieldParser::initWithData("<form action='", 0));
    EXPECT_TRUE(CrwlFormFieldParser::initWithData("<", 0));
}

TEST(CrwlFormFieldParserTest, LoadsThePageOverHttp)
{
    LoopbackServer server;
    server.server().Get("/login", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(
            "<form action=\"/in\"><input type=hidden name=ua value=\"" + request.get_header_value("User-Agent") + "\"></form>",
            "text/html; charset=utf-8");
    });
    server.server().Get("/plain", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<form action=\"/in\"></form>", "text/plain");
    });
    server.server().Get("/untyped", [](const httplib::Request&, httplib::Response& response) {
        response.body = "<form action=\"/in\"></form>";
    });
    server.server().Get("/empty", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("", "text/html");
    });
    ASSERT_TRUE(server.start());
    crawlmere::parsing::detail::setParserDefault(crawlKey::userAgentString, QStringLiteral("FormTest/1.0"));

    const auto parser = CrwlFormFieldParser::initWithUrl(server.url(QStringLiteral("/login")));
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getFormAction(), QStringLiteral("/in"));
    ASSERT_EQ(parser->getCollection().size(), 1);
    EXPECT_EQ(parser->getCollection().at(0).value(QStringLiteral("value")).toString(), QStringLiteral("FormTest/1.0"));

    EXPECT_FALSE(CrwlFormFieldParser::initWithUrl(server.url(QStringLiteral("/plain"))));
    EXPECT_FALSE(CrwlFormFieldParser::initWithUrl(server.url(QStringLiteral("/untyped"))));
    EXPECT_FALSE(CrwlFormFieldParser::initWithUrl(server.url(QStringLiteral("/empty"))));
    EXPECT_FALSE(CrwlFormFieldParser::initWithUrl(server.url(QStringLiteral("/missing"))));
    // Excluded file types are not even requested.
    EXPECT_FALSE(CrwlFormFieldParser::initWithUrl(server.url(QStringLiteral("/login.pdf"))));
    EXPECT_FALSE(CrwlFormFieldParser::initWithUrl(QStringLiteral("http://[broken")));
    crawlmere::parsing::detail::setParserDefault(crawlKey::userAgentString, QVariant());
}
