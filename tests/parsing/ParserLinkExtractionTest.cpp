// Link extraction with the real parsers: a hub set up for a scan by its own go() reads HTML pages,
// a style sheet, a PDF and a DOCX given as record bodies, with the parse switches on and off.
#include "parsing/ParserLinkExtraction.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/FetchPageReader.h"
#include "parsing/ParserFetchPageReader.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrlFetchTransport.h"
#include "engine/RecordingEngineSEO.h"
#include "engine/Z12AraTestSupport.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/Dispatch.h"
#include "support/Fixtures.h"
#include "support/LoopbackServer.h"

#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

using namespace crawlmere::test;

namespace {

class ParserLinkExtractionTest : public HubFixture {
protected:
    void SetUp() override
    {
        HubFixture::SetUp();
        hub->setLinkExtractionParsers(std::make_shared<ParserLinkExtraction>());
        seo = std::make_shared<crawlmere::test::RecordingEngineSEO>();
        hub->setEngineSEODataSource(seo);
        crawlmere::parsing::detail::setParserDefaults({});
    }
    void TearDown() override
    {
        crawlmere::parsing::detail::setParserDefaults({});
        HubFixture::TearDown();
    }

    void start(const QString& startingUrl = QStringLiteral("http://site.test/"))
    {
        settings->insert(crawlKey::startingUrl, startingUrl);
        ASSERT_TRUE(hub->go());
        home = hub->getLcurl();
    }
    void extract(const std::shared_ptr<CrwlUrl>& record, const QByteArray& body, const QString& mimeType = {})
    {
        record->setStatus(200);
        if (!mimeType.isEmpty()) {
            record->setMimeType(mimeType);
            record->setIsHTML(mimeType == u"text/html");
        }
        record->setData(body);
        hub->extractLinks(record);
    }
    std::shared_ptr<CrwlUrl> known(const QString& url) const { return hub->weHaveThisOneAlready(url, nullptr, true); }
    std::shared_ptr<CrwlUrl> knownExternal(const QString& url) const
    {
        return hub->weHaveThisOneAlready(url, nullptr, false);
    }
    /// The link URLs of the page's outbound occurrences, in page order.
    static QStringList outbound(const CrwlUrl& page)
    {
        QStringList urls;
        for (const auto& instance : page.getOutboundInstances())
            urls.append(instance->target()->absoluteString());
        return urls;
    }

    std::shared_ptr<crawlmere::test::RecordingEngineSEO> seo;
    std::shared_ptr<CrwlUrl> home;
};

const QByteArray kHomePage = R"(<!DOCTYPE html>
<html><head><title>Sample home</title>
<meta name="description" content="A sample site">
<link rel="canonical" href="/index.html">
</head><body>
<h1>Welcome</h1><h2>News</h2>
<p>Some words on the page here.</p>
<a href="about.html">About</a>
<a href="docs/guide.html#part2">Guide</a>
<a href="#top">Top</a>
<a href="mailto:info@site.test">Mail</a>
<a href="tel:+15550100">Call</a>
<a href="http://other.test/x" rel="nofollow" target="_blank" hreflang="de">Other</a>
<a href="about.html">About again</a>
<img src="logo.png" alt="Logo">
</body></html>
)";

TEST_F(ParserLinkExtractionTest, HtmlPageYieldsItsLinksAndFacts)
{
    start();
    extract(home, kHomePage);

    EXPECT_EQ(home->getLinkpagetitle(), QStringLiteral("Sample home"));
    EXPECT_EQ(home->getMetadescription(), QStringLiteral("A sample site"));
    EXPECT_EQ(home->getCanonical(), QStringLiteral("http://site.test/index.html"));
    EXPECT_EQ(home->getH1s(), QStringLiteral("Welcome"));
    EXPECT_EQ(home->getH2s(), QStringLiteral("News"));
    EXPECT_GT(home->getWordcount(), 5);
    EXPECT_TRUE(home->getData().isEmpty());

    EXPECT_EQ(outbound(*home),
        (QStringList { QStringLiteral("http://site.test/index.html"), QStringLiteral("http://site.test/about.html"),
            QStringLiteral("http://site.test/docs/guide.html"), QStringLiteral("http://other.test/x"),
            QStringLiteral("http://site.test/about.html"), QStringLiteral("http://site.test/logo.png") }));

    const auto about = known(QStringLiteral("http://site.test/about.html"));
    ASSERT_TRUE(about);
    ASSERT_EQ(about->getInboundInstances().size(), 2u);
    EXPECT_EQ(about->getInboundInstances()[0]->linkText(), QStringLiteral("About"));
    EXPECT_EQ(about->getInboundInstances()[0]->lineNumber(), std::optional<qint64>(8));
    EXPECT_EQ(about->getInboundInstances()[1]->linkText(), QStringLiteral("About again"));

    const auto other = knownExternal(QStringLiteral("http://other.test/x"));
    ASSERT_TRUE(other);
    EXPECT_FALSE(other->isInternal());
    const auto& occurrence = other->getInboundInstances().front();
    EXPECT_TRUE(occurrence->getNofollow());
    EXPECT_EQ(occurrence->targetAttr(), QStringLiteral("_blank"));
    EXPECT_EQ(occurrence->hreflang(), QStringLiteral("de"));

    const auto logo = known(QStringLiteral("http://site.test/logo.png"));
    ASSERT_TRUE(logo);
    EXPECT_TRUE(logo->getInboundInstances().front()->linkText().contains(QStringLiteral("Logo")));
    EXPECT_EQ(known(QStringLiteral("http://site.test/index.html"))->getInboundInstances().front()->linkText(),
        QStringLiteral("canonical"));
    ASSERT_EQ(seo->internalPagesCollection().size(), 1u);
}

TEST_F(ParserLinkExtractionTest, BaseHrefAndUpADirectoryInARealPage)
{
    settings->insert(crawlKey::tolerateUpADirectory, true);
    start(QStringLiteral("http://site.test/a/b/page.html"));
    extract(home, R"(<html><head><base href="http://site.test/a/"></head><body>
<a href="x.html">x</a> <a href="../y.html">y</a> <a href="../../../../z.html">z</a>
</body></html>)");
    EXPECT_EQ(outbound(*home),
        (QStringList { QStringLiteral("http://site.test/a/x.html"), QStringLiteral("http://site.test/y.html"),
            QStringLiteral("http://site.test/z.html") }));
}

TEST_F(ParserLinkExtractionTest, StyleSheetLinksAreReadOnlyWithShouldParseCSS)
{
    start();
    extract(home, R"(<html><body><a href="css/site.css">styles</a></body></html>)");
    const auto css = known(QStringLiteral("http://site.test/css/site.css"));
    ASSERT_TRUE(css);
    extract(css, readFixture(QStringLiteral("documents/links.css")), QStringLiteral("text/css"));
    EXPECT_EQ(css->outboundLinkCount(), 0);

    settings->insert(crawlKey::shouldParseCSS, true);
    extract(css, readFixture(QStringLiteral("documents/links.css")), QStringLiteral("text/css"));
    const auto imported = known(QStringLiteral("http://site.test/css/imported.css"));
    ASSERT_TRUE(imported);
    EXPECT_EQ(imported->getInboundInstances().front()->linkText(), QStringLiteral("[url in css]"));
    EXPECT_TRUE(known(QStringLiteral("http://site.test/css/double%20quoted.png")));
    EXPECT_TRUE(known(QStringLiteral("http://site.test/css/font.woff2")));
    EXPECT_GT(css->outboundLinkCount(), 10);
}

TEST_F(ParserLinkExtractionTest, PdfLinksAreReadOnlyWithShouldParsePDFs)
{
    start();
    extract(home, R"(<html><body><a href="files/links.pdf">pdf</a></body></html>)");
    const auto pdf = known(QStringLiteral("http://site.test/files/links.pdf"));
    ASSERT_TRUE(pdf);
    const QByteArray bytes = readFixture(QStringLiteral("documents/links.pdf"));
    extract(pdf, bytes, QStringLiteral("application/pdf"));
    EXPECT_EQ(pdf->outboundLinkCount(), 0);

    settings->insert(crawlKey::shouldParsePDFs, true);
    extract(pdf, bytes, QStringLiteral("application/pdf"));
    // The mail link is not fetched; the others are, with the text under them.
    EXPECT_EQ(outbound(*pdf),
        (QStringList { QStringLiteral("https://example.org/second?a=1&b=2"),
            QStringLiteral("https://example.com/first"), QStringLiteral("http://example.com/empty-area"),
            QStringLiteral("http://example.net/p2") }));
    const auto first = knownExternal(QStringLiteral("https://example.com/first"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->getInboundInstances().front()->linkText(), QStringLiteral("First link text"));
    EXPECT_FALSE(first->isInternal());
}

TEST_F(ParserLinkExtractionTest, DocxLinksAreReadOnlyWithShouldParseDOCXs)
{
    start();
    extract(home, R"(<html><body><a href="letter.docx">docx</a></body></html>)");
    const auto docx = known(QStringLiteral("http://site.test/letter.docx"));
    ASSERT_TRUE(docx);
    const QByteArray bytes = readFixture(QStringLiteral("documents/links.docx"));
    extract(docx, bytes, QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document"));
    EXPECT_EQ(docx->outboundLinkCount(), 0);

    settings->insert(crawlKey::shouldParseDOCXs, true);
    extract(docx, bytes, QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document"));
    EXPECT_GT(docx->outboundLinkCount(), 2);
    const auto simple = knownExternal(QStringLiteral("http://example.net/simple"));
    ASSERT_TRUE(simple);
    EXPECT_EQ(simple->getInboundInstances().front()->linkText(), QStringLiteral("Simple field"));
}

TEST_F(ParserLinkExtractionTest, BrokenDocumentYieldsNothingAndDropsItsBody)
{
    settings->insert(crawlKey::shouldParseDOCXs, true);
    start();
    extract(home, R"(<html><body><a href="broken.docx">docx</a></body></html>)");
    const auto docx = known(QStringLiteral("http://site.test/broken.docx"));
    extract(docx, readFixture(QStringLiteral("documents/not_a_zip.docx")), QStringLiteral("application/octet-stream"));
    EXPECT_EQ(docx->outboundLinkCount(), 0);
    EXPECT_TRUE(docx->getData().isEmpty());
}

TEST_F(ParserLinkExtractionTest, ValidationWarningsReachTheRecordAndTheDiagnosis)
{
    crawlmere::parsing::detail::setParserDefault(QStringLiteral("htmlValidationEnabled"), true);
    start();
    extract(
        home, "<html><head><title>t</title></head><body><p><div>block in p</div></p><a href=\"x\">x</a></body></html>");
    EXPECT_FALSE(home->getWarningsAsArray().isEmpty());
    EXPECT_EQ(diagnostic->state().warnings, home->getWarningsAsString());
    EXPECT_FALSE(hub->getWarningsArray().isEmpty());
}

// ===== A whole scan over a loopback site ============================================================

class ParserLinkExtractionScanTest : public ParserLinkExtractionTest {
protected:
    void SetUp() override
    {
        ParserLinkExtractionTest::SetUp();
        hub->setClock(nullptr); // real time
        hub->setTransport(std::make_shared<CrwlUrlFetchTransport>());
        auto& http = server.server();
        http.Get("/", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><head><title>Docs</title></head><body><a href=\"/files/links.pdf\">pdf</a> "
                                 "<a href=\"/files/links.docx\">docx</a> <a href=\"/files/links.rtf\">rtf</a> "
                                 "<a href=\"/seen.html\">seen</a></body></html>",
                "text/html");
        });
        http.Get("/seen.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><body>seen</body></html>", "text/html");
        });
        const QByteArray pdf = readFixture(QStringLiteral("documents/links.pdf"));
        const QByteArray docx = readFixture(QStringLiteral("documents/links.docx"));
        const QByteArray rtf = readFixture(QStringLiteral("documents/links.rtf"));
        http.Get("/files/links.rtf", [rtf](const httplib::Request&, httplib::Response& response) {
            response.set_content(rtf.toStdString(), "text/rtf");
        });
        http.Get("/files/links.pdf", [pdf](const httplib::Request&, httplib::Response& response) {
            response.set_content(pdf.toStdString(), "application/pdf");
        });
        http.Get("/files/links.docx", [docx](const httplib::Request&, httplib::Response& response) {
            response.set_content(
                docx.toStdString(), "application/vnd.openxmlformats-officedocument.wordprocessingml.document");
        });
    }
    void scan(const QString& startingPath = QStringLiteral("/"))
    {
        ASSERT_TRUE(server.start());
        NotificationCounter notes;
        settings->insert(crawlKey::startingUrl, server.url(startingPath));
        // Links of the documents lead off the site; they are recorded but not fetched.
        settings->insert(crawlKey::checkBlacklistArray, QStringList { QStringLiteral("example.") });
        ASSERT_TRUE(hub->go());
        ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil(
            [&] { return notes.count(Z12Ara::CrwlCrawlDidFinish) >= 1; }, std::chrono::seconds(30)));
    }
    LoopbackServer server;
};

TEST_F(ParserLinkExtractionScanTest, PdfLinksAreOccurrencesOfThePdfWhenItsSwitchIsOn)
{
    settings->insert(crawlKey::shouldParsePDFs, true);
    scan();
    const auto pdf = known(server.url(QStringLiteral("/files/links.pdf")));
    ASSERT_TRUE(pdf);
    EXPECT_EQ(pdf->getStatus(), 200);
    EXPECT_EQ(outbound(*pdf),
        (QStringList { QStringLiteral("https://example.org/second?a=1&b=2"),
            QStringLiteral("https://example.com/first"), QStringLiteral("http://example.com/empty-area"),
            QStringLiteral("http://example.net/p2") }));
    const auto first = knownExternal(QStringLiteral("https://example.com/first"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->getInboundInstances().front()->parent(), pdf);
    EXPECT_EQ(first->getStatus(), CrwlStatus::notChecked);
    EXPECT_EQ(known(server.url(QStringLiteral("/seen.html")))->getStatus(), 200);
    EXPECT_EQ(hub->inProgressCount(), 0);
}

TEST_F(ParserLinkExtractionScanTest, DocxLinksAreOccurrencesOfTheDocumentWhenItsSwitchIsOn)
{
    settings->insert(crawlKey::shouldParseDOCXs, true);
    scan();
    const auto docx = known(server.url(QStringLiteral("/files/links.docx")));
    ASSERT_TRUE(docx);
    EXPECT_EQ(docx->getStatus(), 200);
    const QStringList links = outbound(*docx);
    EXPECT_TRUE(links.contains(QStringLiteral("http://example.org/second"))) << links.join(' ').toStdString();
    EXPECT_TRUE(links.contains(QStringLiteral("http://example.net/field?a=1&b=2"))) << links.join(' ').toStdString();
    const auto second = knownExternal(QStringLiteral("http://example.org/second"));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->getInboundInstances().front()->parent(), docx);
    // The PDF's switch is off: it is checked, its links are not read.
    EXPECT_EQ(known(server.url(QStringLiteral("/files/links.pdf")))->outboundLinkCount(), 0);
    EXPECT_EQ(hub->inProgressCount(), 0);
}

TEST_F(ParserLinkExtractionScanTest, RtfLinksAreOccurrencesOfTheDocumentWhenItsSwitchIsOn)
{
    settings->insert(crawlKey::shouldParseRTFs, true);
    scan();
    const auto rtf = known(server.url(QStringLiteral("/files/links.rtf")));
    ASSERT_TRUE(rtf);
    EXPECT_EQ(rtf->getStatus(), 200);
    EXPECT_FALSE(rtf->isHTML());
    EXPECT_EQ(outbound(*rtf),
        (QStringList { QStringLiteral("http://example.com/rtf-one"), QStringLiteral("http://example.com/rtf?x=1&y=2"),
            QStringLiteral("http://example.com/trimmed"), QStringLiteral("http://example.com/tip") }));
    const auto tip = knownExternal(QStringLiteral("http://example.com/tip"));
    ASSERT_TRUE(tip);
    EXPECT_EQ(tip->getInboundInstances().front()->linkText(), QStringLiteral("With a tip"));
    EXPECT_EQ(hub->inProgressCount(), 0);
}

TEST_F(ParserLinkExtractionScanTest, DocumentsAreOnlyCheckedWhenTheirSwitchIsOff)
{
    scan();
    const auto pdf = known(server.url(QStringLiteral("/files/links.pdf")));
    ASSERT_TRUE(pdf);
    EXPECT_EQ(pdf->getStatus(), 200);
    EXPECT_EQ(pdf->outboundLinkCount(), 0);
    EXPECT_EQ(known(server.url(QStringLiteral("/files/links.docx")))->outboundLinkCount(), 0);
    EXPECT_EQ(known(server.url(QStringLiteral("/files/links.rtf")))->outboundLinkCount(), 0);
    EXPECT_FALSE(knownExternal(QStringLiteral("https://example.com/first")));
}

} // namespace

TEST_F(ParserLinkExtractionScanTest, LocalFilesReachedFromWebPagesAreRecordedButNeverOpened)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : { "linked.txt", "canonical.html", "meta.html", "refresh.html" }) {
        QFile file(dir.filePath(QLatin1StringView(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<html><body>local</body></html>");
    }
    // Every open or read of a file in the localFolder leaves an event here.
    const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(opens, 0);
    ASSERT_GE(inotify_add_watch(opens, QFile::encodeName(dir.path()).constData(), IN_OPEN | IN_ACCESS), 0);

    const QString localFolder = QUrl::fromLocalFile(dir.path()).toString();
    const std::string page = "<html><head><title>Web</title><link rel=\"canonical\" href=\"" + localFolder.toStdString()
        + "/canonical.html\"></head><body><a href=\"" + localFolder.toStdString()
        + "/linked.txt\">passwords</a> <a href=\"/meta.html\">m</a> <a href=\"/refresh.html\">r</a></body></html>";
    auto& http = server.server();
    http.Get("/web.html", [page](const httplib::Request&, httplib::Response& response) {
        response.set_content(page, "text/html");
    });
    http.Get("/meta.html", [localFolder](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><meta http-equiv=\"refresh\" content=\"0; url=" + localFolder.toStdString()
                + "/meta.html\"><title>Meta</title></head><body>m</body></html>",
            "text/html");
    });
    http.Get("/refresh.html", [localFolder](const httplib::Request&, httplib::Response& response) {
        response.set_header("Refresh", "1; url=" + localFolder.toStdString() + "/refresh.html");
        response.set_content("<html><head><title>Refresh</title></head><body>r</body></html>", "text/html");
    });
    ParserFetchPageReader::installAsFetchPageReader();
    scan(QStringLiteral("/web.html"));
    FetchPageReader::install(nullptr);

    const QString warning = CrwlUrl::localFileBeyondReachWarning();
    for (const char* name : { "/linked.txt", "/canonical.html" }) {
        const auto record = knownExternal(localFolder + QLatin1StringView(name));
        ASSERT_TRUE(record) << name;
        EXPECT_EQ(record->getStatus(), CrwlStatus::notChecked) << name;
        EXPECT_TRUE(record->getWarningsAsArray().contains(warning)) << name;
        ASSERT_EQ(record->getInboundInstances().size(), 1u) << name;
        EXPECT_EQ(record->getInboundInstances().front()->parent(), hub->getLcurl()) << name;
    }
    for (const char* name : { "/meta.html", "/refresh.html" }) {
        const auto record = known(server.url(QLatin1StringView(name)));
        ASSERT_TRUE(record) << name;
        EXPECT_EQ(record->getStatus(), 200) << name;
        EXPECT_TRUE(record->getRedir().isEmpty()) << name;
        EXPECT_TRUE(record->getWarningsAsArray().contains(warning)) << name;
    }
    EXPECT_EQ(hub->inProgressCount(), 0);
    char events[4096];
    EXPECT_LT(read(opens, events, sizeof events), 0) << "a local file was opened";
    close(opens);
}
