// Attribute values read as a browser's tokenizer reads them: a quoted value runs to its own closing
// quote, so nothing inside one opens a tag, a comment, a script or a style, in the body and in the
// head, and a page scanned over a loopback server checks exactly the links a browser shows.
#include "ScanningHub.h"

#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/EngineDefaults.h"
#include "parsing/CrwlParser.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "support/Fixtures.h"
#include "support/LoopbackServer.h"
#include "support/TsvTable.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>

using namespace crawlmere::test;

namespace {

constexpr const char* kBefore = "<!DOCTYPE html><html><head><title>t</title></head><body>\n<a href=\"before.html\">b</a>\n";
constexpr const char* kAfter = "\n<a href=\"after.html\">a</a>\n</body></html>";

/// Every URL of the scan's records, in order, images included.
QStringList scannedUrls(const QByteArray& page)
{
    const ExactBuffer bytes(page);
    CrwlParser::Options options;
    options.checkImages = true;
    const auto parser = CrwlParser::initWithData(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())), options);
    QStringList urls;
    if (parser)
        for (const CrwlLinkRecord& record : parser->getCollection())
            urls += record.urlArray;
    return urls;
}

} // namespace

TEST(QuotedValues, TheScanFindsTheLinksAWhatwgTokenizerFinds)
{
    const auto rows = readTsvTable(QStringLiteral("pages/quoted-values.tsv"));
    ASSERT_GE(rows.size(), 20u);
    for (const TsvRow& row : rows) {
        QStringList expected { QStringLiteral("before.html") };
        expected += row.cells.mid(1);
        expected += QStringLiteral("after.html");
        const QByteArray page = kBefore + row.cell(0).toUtf8() + kAfter;
        EXPECT_EQ(scannedUrls(page), expected) << "line " << row.line << ": " << row.cell(0).toStdString();
    }
}

TEST(QuotedValues, NothingInAQuotedValueOfTheHeadOpensATagOrAComment)
{
    struct HeadCase {
        const char* head;
        const char* title;
        QStringList linkedFiles;
    };
    const HeadCase cases[] = {
        { R"(<link title="<script>" rel="stylesheet" href="a.css"><title>T1</title>)", "T1", { "a.css" } },
        { R"(<link title="<!--" href="b.css"><title>T2</title>)", "T2", { "b.css" } },
        { R"(<meta name="description" content="Use <title>X</title> well"><title>T3</title>)", "T3", {} },
        { R"(<link title='<body>' href='c.css'><title>T4</title>)", "T4", { "c.css" } },
        { R"(<link href="d.css?a=<b>&amp;c"><title>T5</title>)", "T5", { "d.css?a=<b>&c" } },
        { R"(<script src="e.js?x=</script>"></script><title>T6</title>)", "T6", { "e.js?x=</script>" } },
        { R"(<link data-x=a<title href=f.css><title>T7</title>)", "T7", { "f.css" } },
        { R"(<!x a="><title>T8</title><!-- --!><link href="g.css">)", "T8", { "g.css" } },
    };
    crawlmere::parsing::detail::setParserDefaults({});
    for (const HeadCase& c : cases) {
        const QByteArray page = QByteArray("<html><head>") + c.head + "</head><body><a href=\"x.html\">x</a></body></html>";
        const ExactBuffer bytes(page);
        CrwlParser::Options options;
        options.withSEO = true;
        options.linkedFiles = true;
        const auto parser
            = CrwlParser::initWithData(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())), options);
        ASSERT_TRUE(parser) << c.head;
        EXPECT_EQ(parser->getTitle(), QString::fromUtf8(c.title)) << c.head;
        QStringList files;
        QStringList links;
        for (const CrwlLinkRecord& record : parser->getCollection())
            (record.linkText == QStringLiteral("[linked file]") ? files : links) += record.urlArray;
        EXPECT_EQ(files, c.linkedFiles) << c.head;
        EXPECT_EQ(links, QStringList { QStringLiteral("x.html") }) << c.head;
    }
}

TEST(QuotedValues, AScanOverALoopbackSiteRequestsEveryLinkOfAHostilePageAndNoInventedOne)
{
    // One page holding every line of the table; each address it links answers 200, the invented
    // ones ("zz…") 404.
    QByteArray body = kBefore;
    int expectedLinks = 2;
    for (const TsvRow& row : readTsvTable(QStringLiteral("pages/quoted-values.tsv"))) {
        body += row.cell(0).toUtf8() + '\n';
        expectedLinks += int(row.cells.size()) - 1;
    }
    body += kAfter;

    std::mutex mutex;
    std::vector<std::string> requested;
    LoopbackServer server;
    server.server().Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard lock(mutex);
            requested.push_back(request.path);
        }
        if (request.path == "/")
            response.set_content(body.toStdString(), "text/html");
        else if (request.path.find("zz") != std::string::npos)
            response.status = 404;
        else
            response.set_content("<html><body>ok</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());

    QTemporaryDir folder;
    crawlmere::platform::UserDefaults store(folder.filePath(QStringLiteral("d.plist")));
    crawlmere::engine::registerEngineDefaults(store);
    const auto hub = makeScanningHub(store);
    auto settings = std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings());
    settings->insert(crawlKey::startingUrl, server.url(QStringLiteral("/")));
    settings->insert(crawlKey::checkImages, true);
    hub->setCrawlSettings(settings);
    bool finished = false;
    auto& center = crawlmere::platform::NotificationCenter::defaultCenter();
    center.addObserver(&finished, Z12Ara::CrwlCrawlDidFinish, [&](const auto&) { finished = true; });
    ASSERT_TRUE(hub->go());
    ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return finished; }, std::chrono::seconds(30)));
    center.removeObserver(&finished);

    const auto home = hub->weHaveThisOneAlready(server.url(QStringLiteral("/")), nullptr, true);
    ASSERT_TRUE(home);
    EXPECT_EQ(home->getLinkpagetitle(), QStringLiteral("t"));
    EXPECT_EQ(int(home->getOutboundInstances().size()), expectedLinks);
    QStringList bad;
    for (const auto& occurrence : home->getOutboundInstances())
        if (occurrence->target()->getStatus() != 200)
            bad += occurrence->target()->absoluteString();
    EXPECT_TRUE(bad.isEmpty()) << bad.join(u' ').toStdString();
    std::lock_guard lock(mutex);
    EXPECT_TRUE(std::find(requested.begin(), requested.end(), "/after.html") != requested.end());
    for (const std::string& path : requested)
        EXPECT_EQ(path.find("zz"), std::string::npos) << path;
    hub->clear();
}

TEST(QuotedValues, AnHrefWhoseQuoteRunsOverMarkupToALaterOneIsWarnedAbout)
{
    crawlmere::parsing::detail::setParserDefaults({ { QStringLiteral("htmlValidationEnabled"), true } });
    const auto warningsOf = [](const char* line) {
        const ExactBuffer bytes(QByteArray(kBefore) + line + kAfter);
        CrwlParser::Options options;
        const auto parser
            = CrwlParser::initWithData(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())), options);
        return parser ? parser->getWarnings().filter(QStringLiteral("missing an end quote")) : QStringList { "none" };
    };
    EXPECT_EQ(warningsOf(R"(<a href="p24.html>x</a> <a href="p25.html">y</a>)").size(), 1);
    EXPECT_TRUE(warningsOf(R"(<a href="x.html?q=a>b">greater</a>)").isEmpty());
    EXPECT_TRUE(warningsOf(R"(<a href="j&amp;k<l.html">less</a>)").isEmpty());
    crawlmere::parsing::detail::setParserDefaults({});
}
