// Headless scans of a loopback site whose robots.txt holds encoded, anchored, case-sensitive
// and grouped rules: the link marking, the requests the site sees and the sitemap agree on
// every page.
#include "app/HeadlessScan.h"
#include "app/QuietHeadlessRun.h"

#include "engine/EngineDefaults.h"
#include "platform/UserDefaults.h"
#include "support/LoopbackServer.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <mutex>
#include <set>

using namespace crawlmere::app;
using crawlmere::test::LoopbackServer;

namespace {

struct Row {
    const char* href;
    bool disallowed;
};

const Row kRows[] = {
    { "/caf%C3%A9.html", true },
    { "/caf%C3%A9b.html", true },
    { "/na%20me.html", true },
    { "/g2.html", true },
    { "/exact", true },
    { "/exact.html", false },
    { "/Private/x.html", true },
    { "/private/x.html", false },
    { "/q/ok.html", true },
    { "/QAth/ok.html", false },
    { "/admin/y.html", true },
    { "/x.html?u=http://host/admin", false },
    { "/ok.html", false },
};

/// The address with its escapes decoded, so that every output's form compares.
QString decoded(const QString& url) { return QUrl::fromPercentEncoding(url.toUtf8()); }

class HeadlessRobotsTest : public testing::Test {
protected:
    void SetUp() override
    {
        crawlmere::engine::registerEngineDefaults(crawlmere::platform::UserDefaults::standard());
        server.server().Get("/robots.txt", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("User-agent: *\nUser-agent: other\nDisallow: /caf%C3%A9\nDisallow: /na%20me\n"
                                 "Disallow: /g2\nDisallow: /exact$\nDisallow: /Private\nDisallow: /q\n"
                                 "Disallow: /admin\n",
                "text/plain");
        });
        server.server().Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(mutex);
                requested.insert(QString::fromStdString(request.path));
            }
            std::string body;
            if (request.path == "/") {
                for (const Row& row : kRows)
                    body += std::string("<a href=\"") + row.href + "\">x</a>\n";
            }
            response.set_content("<html><head><title>t</title></head><body>" + body + "</body></html>", "text/html");
        });
        ASSERT_TRUE(server.start());
    }
    /// The URL (decoded) and status of each row of the CSV.
    QHash<QString, QString> statuses(const QString& path) const
    {
        QHash<QString, QString> found;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return found;
        static const QRegularExpression row(QStringLiteral("^\"([^\"]*)\",\"([^\"]*)\""));
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            if (const auto match = row.match(line); match.hasMatch())
                found.insert(decoded(match.captured(1)), match.captured(2));
        }
        return found;
    }
    QSet<QString> sitemapPages(const QString& path) const
    {
        QSet<QString> found;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return found;
        static const QRegularExpression loc(QStringLiteral("<loc>([^<]*)</loc>"));
        for (const auto& match : loc.globalMatch(QString::fromUtf8(file.readAll())))
            found.insert(decoded(match.captured(1).replace(QStringLiteral("&amp;"), QStringLiteral("&"))));
        return found;
    }

    QTemporaryDir folder;
    LoopbackServer server;
    std::mutex mutex;
    QSet<QString> requested; // paths, decoded
};

TEST_F(HeadlessRobotsTest, LinkMarkingFetchAndSitemapAgreeOnEveryPage)
{
    // Disallowed links marked and left unfetched.
    const QString csv = folder.filePath(QStringLiteral("scan.csv"));
    ASSERT_EQ(crawlmere::test::runHeadlessQuietly({ QStringLiteral("--headless"), QStringLiteral("--set"),
                  QStringLiteral("blacklistByRobotsTxt=YES"), QStringLiteral("--columns"), QStringLiteral("url,status"),
                  QStringLiteral("--csv"), csv, server.url() }),
        kExitFinished);
    const auto status = statuses(csv);
    std::set<QString> fetched;
    {
        std::lock_guard lock(mutex);
        for (const QString& path : std::as_const(requested))
            fetched.insert(path);
        requested.clear();
    }
    // Every page fetched, the disallowed ones left out of the sitemap only.
    const QString sitemap = folder.filePath(QStringLiteral("sm.xml"));
    ASSERT_EQ(crawlmere::test::runHeadlessQuietly({ QStringLiteral("--headless"), QStringLiteral("--default"),
                  QStringLiteral("observeRobotsTxt=YES"), QStringLiteral("--sitemap"), sitemap, server.url() }),
        kExitFinished);
    const QSet<QString> listed = sitemapPages(sitemap);

    for (const Row& row : kRows) {
        const QString url = decoded(server.url(QString::fromUtf8(row.href)));
        const QString path = decoded(QString::fromUtf8(row.href).section(u'?', 0, 0));
        ASSERT_TRUE(status.contains(url)) << row.href;
        EXPECT_EQ(status.value(url) == u"Disallowed by robots.txt", row.disallowed) << row.href;
        EXPECT_EQ(fetched.count(path) == 1, !row.disallowed) << row.href;
        EXPECT_EQ(listed.contains(url), !row.disallowed) << row.href;
    }
}

} // namespace
