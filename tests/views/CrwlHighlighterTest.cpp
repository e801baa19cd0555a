#include "views/CrwlHighlighter.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrawlSettings.h"
#include "engine/CrwlUrl.h"
#include "parsing/CrwlParser.h"
#include "parsing/TagSyntax.h"
#include "platform/Dispatch.h"
#include "platform/Paths.h"
#include "platform/UrlOpener.h"
#include "support/Fixtures.h"
#include "support/LoopbackServer.h"
#include "support/RecordingUrlOpener.h"
#include "support/TsvTable.h"
#include "views/HtmlEntities.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace crawlmere;
using views::CrwlHighlighter;
using views::HighlightMarker;

namespace {

std::shared_ptr<CrwlUrl> linkRecord(const QString& url, bool trimHash)
{
    QVariantMap values = CrwlUrl::defaultCrawlSettings();
    values.insert(crawlKey::shouldTrimHash, trimHash);
    auto link = CrwlUrl::make(nullptr, std::make_shared<CrawlSettings>(values));
    link->setLinkURL(url);
    return link;
}

} // namespace

// Each page of the table, marked, equals its expected copy byte for byte.
TEST(HighlightMarking, GoldenCopies)
{
    const auto rows = test::readTsvTable(QStringLiteral("highlight/cases.tsv"));
    ASSERT_EQ(rows.size(), 16u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cell(0).toStdString());
        const auto link = linkRecord(row.cell(1), row.cell(5) == u"1");
        HighlightMarker::Request request { link->absoluteString(), HighlightMarker::defaultStyle(), row.cell(2),
            row.cell(3) == u"1", row.cell(4) == u"1", CrwlHighlighter::storedFormOf(link) };
        HighlightMarker marker;
        const auto marked = marker.mark(test::readFixture(QStringLiteral("highlight/") + row.cell(0)), request);
        if (row.cell(6) == u"-") {
            EXPECT_FALSE(marked.has_value());
            continue;
        }
        ASSERT_TRUE(marked.has_value());
        const QString expectedName = QStringLiteral("highlight/") + QFileInfo(row.cell(0)).completeBaseName() + QStringLiteral(".expected");
        if (!QFileInfo::exists(test::fixturePath(expectedName))) {
            QFile out(QStringLiteral("/tmp/highlight-") + QFileInfo(expectedName).fileName());
            if (out.open(QIODevice::WriteOnly))
                out.write(*marked);
        }
        EXPECT_EQ(marked->toStdString(), test::readFixture(expectedName).toStdString());
    }
}

TEST(HighlightMarking, TheCopyIsMadeOnceAtItsFinalSize)
{
    // Many matching tags, each of which grew the copy again; the base element goes in the head.
    QByteArray page = "<html><head><title>t</title></head><body>";
    for (int i = 0; i < 2000; ++i)
        page += "<a href=\"/x.html\">x</a> <frame src=/y.html> <area href='/x.html'>";
    page += "</body></html>";
    const auto link = linkRecord(QStringLiteral("http://h.test/x.html"), true);
    const HighlightMarker::Request request { link->absoluteString(), HighlightMarker::defaultStyle(),
        QStringLiteral("http://h.test/index.html"), false, false, CrwlHighlighter::storedFormOf(link) };
    const QByteArray style = HighlightMarker::defaultStyle().toLatin1();
    const QByteArray element = "\n<base href = \"http://h.test/index.html\">\n";

    HighlightMarker marker;
    const auto marked = marker.mark(page, request);
    ASSERT_TRUE(marked.has_value());
    EXPECT_EQ(marked->count(style), 4000);
    EXPECT_TRUE(marked->startsWith("<html><head>" + element + "<title>"));
    EXPECT_EQ(marked->size(), page.size() + 4000 * style.size() + element.size());
    EXPECT_EQ(marked->capacity(), marked->size());
    EXPECT_EQ(marker.foundUrls(page, false).size(), 6000);
}

// On each line of the quoted-value table, and in a value longer than a cap, the highlighter finds
// the links the page scan finds.
TEST(HighlightMarking, FindsTheLinksTheScanFinds)
{
    const auto scanned = [](const QByteArray& page) {
        const test::ExactBuffer bytes(page);
        const auto parser = CrwlParser::initWithData(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())), {});
        QStringList urls;
        for (const CrwlLinkRecord& record : parser->getCollection())
            urls += record.urlArray;
        return urls;
    };
    HighlightMarker marker;
    const auto rows = test::readTsvTable(QStringLiteral("pages/quoted-values.tsv"));
    ASSERT_GE(rows.size(), 20u);
    for (const auto& row : rows) {
        const QByteArray page = "<html><head><title>t</title></head><body>\n<a href=\"before.html\">b</a>\n"
            + row.cell(0).toUtf8() + "\n<a href=\"after.html\">a</a></body></html>";
        const test::ExactBuffer bytes(page);
        const QStringList found = marker.foundUrls(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())), false);
        EXPECT_EQ(found, scanned(page)) << "line " << row.line << ": " << row.cell(0).toStdString();
        EXPECT_GE(found.size(), 2) << row.line;
    }
    for (const size_t length : { parsing::kValueLimit + 1, parsing::kUrlLimit + 1 }) {
        const QByteArray page = "<html><body><a href=\"/" + QByteArray(qsizetype(length), 'v') + "\">x</a></body></html>";
        const QStringList found = marker.foundUrls(page, false);
        EXPECT_EQ(found, scanned(page)) << length;
        ASSERT_EQ(found.size(), 1);
        EXPECT_EQ(size_t(found.front().size()), std::min(length + 1, parsing::kUrlLimit));
    }
}

TEST(HighlightMarking, StyleAndSlashComparison)
{
    EXPECT_EQ(HighlightMarker::defaultStyle(), QStringLiteral(" style = \"background:rgb(245,245,0);\""));
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    for (const Case& c : { Case { "http://h/dir", "http://H/DIR/", true }, Case { "http://h/dir/", "http://h/dir", true },
             Case { "http://h/dir//", "http://h/dir", false }, Case { "http://h/dira", "http://h/dir/", false },
             Case { "", "/", true } })
        EXPECT_EQ(HighlightMarker::compareIgnoringTrailingSlash(QLatin1String(c.a), QLatin1String(c.b)), c.same) << c.a;
}

TEST(HighlightMarking, EntityReferences)
{
    using views::HtmlEntities;
    struct Case {
        const char16_t* in;
        const char16_t* out;
    };
    for (const Case& c : { Case { u"a&AMP;b", u"a&b" }, Case { u"&eacute;", u"&eacute;" }, Case { u"&#233;&eacute;", u"\u00e9\u00e9" },
             Case { u"&#x41;&#X42;&#67;", u"ABC" }, Case { u"&#0;&#65535;&#xFFFE;", u"&#0;&#65535;\ufffe" },
             Case { u"&#12345678;&Eacute;", u"&#12345678;\u00c9" }, Case { u"&#38;amp;", u"&amp;" },
             Case { u"&#1;&EACUTE;&apos;", u"\u0001&EACUTE;'" }, Case { u"&#x;&#;&lt", u"&#x;&#;&lt" } })
        EXPECT_EQ(HtmlEntities::unescapeEntities(QString::fromUtf16(c.in)), QString::fromUtf16(c.out));
    EXPECT_EQ(HtmlEntities::namedCharacter(u"thetasym"), u'\u03d1');
    EXPECT_EQ(HtmlEntities::namedCharacter(u"hellip"), u'\u2026');
}

namespace {

constexpr char kPage[] = "<html><head><title>t</title></head><body><a href=\"/x.html\">x</a></body></html>";

class HighlightFetch : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto& http = server.server();
        http.Get("/dir/page.php", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(kPage, "text/html");
        });
        http.Get("/missing.html", [](const httplib::Request&, httplib::Response& response) {
            response.status = 404;
            response.set_content(kPage, "text/html");
        });
        http.Get("/empty.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("", "text/html");
        });
        http.Get("/unclosed.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><head\n", "text/html");
        });
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(platform::Dispatch::runUntil([this] { return server.server().is_running(); }, std::chrono::seconds(10)));
        tempFolder = platform::Paths::applicationSupportSubfolder(QStringLiteral("temp"));
        ASSERT_FALSE(tempFolder.isEmpty());
    }

    void TearDown() override
    {
        QFile::setPermissions(tempFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        server.stop();
    }

    /// Highlights x.html on `path` of the server and answers the path opened ("" for none).
    QString highlight(const QString& path)
    {
        bool done = false;
        QString opened;
        {
            auto highlighter = CrwlHighlighter::make(linkRecord(server.url(QStringLiteral("/x.html")), true), server.url(path), nullptr, recorder);
            highlighter->setFinishedHandler([&](const QString& written) {
                done = true;
                opened = written;
            });
            highlighter->highlightBadLinksInSelectedPage();
        }
        // The caller's reference is gone: the highlighter keeps itself until it ends.
        EXPECT_TRUE(platform::Dispatch::runUntil([&] { return done; }, std::chrono::seconds(20)));
        return opened;
    }

    /// An older file of the name `path`'s page is written to.
    QString plantOlderFile(const QString& name)
    {
        const QString older = tempFolder + u'/' + name;
        QFile file(older);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("older page");
        return older;
    }

    test::LoopbackServer server;
    std::shared_ptr<platform::RecordingUrlOpener> recorder = std::make_shared<platform::RecordingUrlOpener>();
    QString tempFolder;
};

} // namespace

TEST_F(HighlightFetch, WritesTheMarkedPageAndOpensIt)
{
    const QString opened = highlight(QStringLiteral("/dir/page.php"));
    EXPECT_EQ(opened, tempFolder + QStringLiteral("/page.php.html"));
    ASSERT_EQ(recorder->opened.size(), 1);
    EXPECT_EQ(recorder->opened.front(), QUrl::fromLocalFile(opened));
    QFile file(opened);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray expected = "<html><head>\n<base href = \"" + server.url(QStringLiteral("/dir/page.php")).toLatin1()
        + "\">\n<title>t</title></head><body><a" + HighlightMarker::defaultStyle().toLatin1() + " href=\"/x.html\">x</a></body></html>";
    EXPECT_EQ(file.readAll().toStdString(), expected.toStdString());
}

TEST_F(HighlightFetch, FailedFetchMarkingOrWriteOpensNothing)
{
    for (const char* path : { "/missing.html", "/empty.html", "/unclosed.html" }) {
        SCOPED_TRACE(path);
        const QString older = plantOlderFile(QLatin1String(path).mid(1) + QStringLiteral(".html"));
        EXPECT_EQ(highlight(QLatin1String(path)), QString());
        QFile file(older);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), "older page");
    }
    EXPECT_TRUE(recorder->opened.isEmpty());

    // A folder that cannot be written to: read-only where permissions hold, and in any case a
    // name taken by a folder, so that the new copy cannot replace it.
    const QString older = plantOlderFile(QStringLiteral("page.php.html"));
    QFile::setPermissions(tempFolder, QFile::ReadOwner | QFile::ExeOwner);
    QFile probe(tempFolder + QStringLiteral("/probe"));
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        QFile::remove(older);
        ASSERT_TRUE(QDir().mkpath(older + QStringLiteral("/kept")));
    }
    EXPECT_EQ(highlight(QStringLiteral("/dir/page.php")), QString());
    EXPECT_TRUE(recorder->opened.isEmpty());
    QDir(older).removeRecursively();
}
