// Headless scans of a loopback site started at an address that redirects: the CSV rows, the
// sitemap and the summary are those of a scan started at the final address, and a PDF reached
// only through a redirect is in the sitemap as a linked one is.
#include "HeadlessScanTestSupport.h"

namespace {

using namespace crawlmere::test::headless;

class HeadlessRedirectingStartTest : public HeadlessScanTest {
protected:
    void serveSite(httplib::Server& site) override
    {
        redirect(site, "/go-a", "/a.html", 301);
        serveHtml(site, "/a.html", page(QStringLiteral("A"), QStringLiteral(R"(<a href="/">home</a>
<a href="/deep/x/y.html">deep</a> <a href="/getpdf">pdf</a>)")));
        serveHtml(site, "/", page(QStringLiteral("Home"), QStringLiteral(R"(<a href="/b.html">b</a>)")));
        serveHtml(site, "/b.html", page(QStringLiteral("B"), QString()));
        serveHtml(site, "/deep/x/y.html", page(QStringLiteral("Y"), QStringLiteral(R"(<a href="/deep/z.html">z</a>)")));
        serveHtml(site, "/deep/z.html", page(QStringLiteral("Z"), QString()));
        redirect(site, "/getpdf", "/doc.pdf", 302);
        site.Get("/doc.pdf", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("%PDF-1.4\n%%EOF\n", "application/pdf");
        });
    }

    struct Scan {
        std::map<QString, QString> rows; // URL → status
        QStringList sitemap;
        QString pages;
    };
    Scan scan(const QString& path)
    {
        const QString sitemap = folder.filePath(QStringLiteral("sitemap.xml"));
        const qsizetype before = out.bytes().size();
        EXPECT_EQ(run({ QStringLiteral("--headless"), QStringLiteral("--columns"), QStringLiteral("url,status"),
                      QStringLiteral("--sitemap"), sitemap, url(path) }),
            kExitFinished);
        Scan result;
        for (const auto& [address, row] : readCsv(csvPath()).rows)
            result.rows[address] = row.count(QStringLiteral("status")) ? row.at(QStringLiteral("status")) : QString();
        QFile file(sitemap);
        if (file.open(QIODevice::ReadOnly)) {
            static const QRegularExpression loc(QStringLiteral("<loc>([^<]*)</loc>"));
            for (const auto& match : loc.globalMatch(QString::fromUtf8(file.readAll())))
                result.sitemap << match.captured(1);
        }
        result.sitemap.sort();
        result.pages = summaryValue(QString::fromUtf8(out.bytes().mid(before)), QStringLiteral("Pages"));
        return result;
    }
};

TEST_F(HeadlessRedirectingStartTest, ARedirectingStartGivesTheRowsSitemapAndPagesOfItsFinalAddress)
{
    const Scan direct = scan(QStringLiteral("/a.html"));
    Scan redirected = scan(QStringLiteral("/go-a"));
    ASSERT_TRUE(redirected.rows.contains(url(QStringLiteral("/go-a"))));
    redirected.rows.erase(url(QStringLiteral("/go-a")));
    EXPECT_EQ(redirected.rows, direct.rows);
    EXPECT_EQ(redirected.sitemap, direct.sitemap);
    EXPECT_EQ(redirected.pages, direct.pages);
    EXPECT_TRUE(direct.sitemap.contains(url(QStringLiteral("/deep/z.html"))));
    // PDFs are not read (the default) and go in the sitemap (the default), reached through a
    // redirect as when linked.
    EXPECT_TRUE(direct.sitemap.contains(url(QStringLiteral("/doc.pdf"))));
    EXPECT_FALSE(direct.sitemap.contains(url(QStringLiteral("/getpdf"))));
}

} // namespace
