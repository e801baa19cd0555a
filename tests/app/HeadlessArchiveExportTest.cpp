// The headless program with archiving: the export after the finish, named in the summary, and
// the exported copy scanned again from disc with no bad link.
#include "app/HeadlessScan.h"

#include "engine/EngineDefaults.h"
#include "platform/UserDefaults.h"
#include "support/LoopbackServer.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

using namespace crawlmere::app;
using crawlmere::test::LoopbackServer;

namespace {

QString runAndRead(const QStringList& arguments)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    HeadlessConsole console;
    console.out = out;
    console.err = err;
    console.watchInterrupt = false;
    runHeadlessCommand(arguments, console, /*displayAvailable=*/false);
    std::rewind(out);
    QByteArray bytes;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0)
        bytes.append(buffer, static_cast<qsizetype>(n));
    std::fclose(out);
    std::fclose(err);
    return QString::fromUtf8(bytes);
}

TEST(HeadlessArchiveExport, TheExportFollowsTheFinishAndItsCopyHasNoBadLink)
{
    crawlmere::engine::registerEngineDefaults(crawlmere::platform::UserDefaults::standard());
    LoopbackServer server;
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body><a href=\"docs/\">Docs</a> <img src=\"/logo.png\"></body></html>", "text/html");
    });
    server.server().Get("/docs/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body><a href=\"../\">Home</a> <a href=\"/docs/a.html?v=1\">A</a></body></html>", "text/html");
    });
    server.server().Get("/docs/a.html", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body><a href=\"/\">Home</a><img src=\"../logo.png\"></body></html>", "text/html");
    });
    server.server().Get("/logo.png", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string("\x89PNG\r\n\x1a\n", 8), "image/png");
    });
    ASSERT_TRUE(server.start());
    QTemporaryDir save;

    const QString unsaved = runAndRead({ "--headless", "--set", "shouldArchive=YES", server.url() });
    EXPECT_TRUE(unsaved.contains("Archive: not exported (no archiveSaveLocation set)")) << unsaved.toStdString();

    const QString exported = runAndRead(
        { "--headless", "--set", "shouldArchive=YES", "--set", "archiveSaveLocation=" + save.path(), server.url() });
    const auto match = QRegularExpression("Archive: exported to (.*) \\((\\d+) files in [0-9.]+ s\\)").match(exported);
    ASSERT_TRUE(match.hasMatch()) << exported.toStdString();
    EXPECT_EQ(match.captured(2).toInt(), 4);
    const QString home = match.captured(1) + QStringLiteral("/:%1/index.html").arg(server.port());
    ASSERT_TRUE(QFileInfo(home).isFile()) << home.toStdString();
    EXPECT_TRUE(QFileInfo(match.captured(1) + QStringLiteral("/:%1/docs/a.html.v=1.html").arg(server.port())).isFile());

    server.stop();
    const QString local = runAndRead({ "--headless", home });
    EXPECT_TRUE(local.contains("\nURLs checked: 4\n")) << local.toStdString();
    EXPECT_TRUE(local.contains("\nBad links: 0\n")) << local.toStdString();
}

} // namespace
