// A headless scan that treats #fragments as pages: a link to a fragment its page lacks says
// why it is bad in the CSV of the links, in the first view's CSV and in the summary.
#include "app/HeadlessScan.h"
#include "app/QuietHeadlessRun.h"

#include "engine/EngineDefaults.h"
#include "platform/UserDefaults.h"
#include "support/LoopbackServer.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace crawlmere::app;
using crawlmere::test::LoopbackServer;

namespace {

QString fileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(HeadlessFragmentTest, AMissingFragmentSaysWhyWhereverTheStatusShows)
{
    crawlmere::engine::registerEngineDefaults(crawlmere::platform::UserDefaults::standard());
    LoopbackServer server;
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<html><head><title>h</title></head><body><a href=\"/p.html#there\">t</a> <a href=\"/p.html#gone\">g</a>"
            "</body></html>",
            "text/html");
    });
    server.server().Get("/p.html", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<html><head><title>p</title></head><body><h2 id=\"there\">x</h2></body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    QTemporaryDir folder;
    const QString links = folder.filePath(QStringLiteral("links.csv"));
    const QString view = folder.filePath(QStringLiteral("view1.csv"));
    QString printed;
    for (const QStringList& exportArguments :
        { QStringList { QStringLiteral("--columns"), QStringLiteral("url,status"), QStringLiteral("--csv"), links },
            QStringList { QStringLiteral("--view"), QStringLiteral("1"), QStringLiteral("--csv"), view } }) {
        QString summary;
        EXPECT_EQ(
            crawlmere::test::runHeadlessCapturing(QStringList { QStringLiteral("--headless"), QStringLiteral("--set"),
                                                      QStringLiteral("shouldTrimHash=NO") }
                    + exportArguments + QStringList { server.url() },
                &summary),
            kExitFinished);
        printed += summary;
    }

    const QString missing = QStringLiteral("\"200 ok, no such #fragment on the page\"");
    const QString linksText = fileText(links);
    EXPECT_TRUE(
        linksText.contains(QStringLiteral("\"%1\",%2").arg(server.url(QStringLiteral("/p.html#gone")), missing)))
        << linksText.toStdString();
    EXPECT_TRUE(
        linksText.contains(QStringLiteral("\"%1\",\"200 ok\"").arg(server.url(QStringLiteral("/p.html#there")))))
        << linksText.toStdString();
    EXPECT_EQ(fileText(view).count(missing), 1) << fileText(view).toStdString();
    EXPECT_EQ(printed.count(QStringLiteral("Bad links: 1\nBad links with no such #fragment on the page: 1\n")), 2)
        << printed.toStdString();
}

} // namespace
