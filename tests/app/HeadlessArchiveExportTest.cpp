// The headless program with archiving: the export after the finish, named in the summary, and
// the exported copy scanned again from disc with no bad link.
#include "app/HeadlessScan.h"
#include "app/QuietHeadlessRun.h"

#include "engine/EngineDefaults.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "support/FileSizeLimit.h"
#include "support/LoopbackServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace crawlmere::app;
using crawlmere::test::LoopbackServer;

namespace {

struct HeadlessRun {
    int status = -1;
    QString out;
    QString err;
};

HeadlessRun run(const QStringList& arguments)
{
    crawlmere::test::CapturedFile out;
    crawlmere::test::CapturedFile err;
    HeadlessConsole console;
    console.out = out.get();
    console.err = err.get();
    console.watchInterrupt = false;
    HeadlessRun result;
    result.status = runHeadlessCommand(arguments, console, /*displayAvailable=*/false);
    result.out = out.text();
    result.err = err.text();
    return result;
}

QString runAndRead(const QStringList& arguments) { return run(arguments).out; }

TEST(HeadlessArchiveExport, TheExportFollowsTheFinishAndItsCopyHasNoBadLink)
{
    crawlmere::engine::registerEngineDefaults(crawlmere::platform::UserDefaults::standard());
    LoopbackServer server;
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<html><body><a href=\"docs/\">Docs</a> <img src=\"/logo.png\"></body></html>", "text/html");
    });
    server.server().Get("/docs/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<html><body><a href=\"../\">Home</a> <a href=\"/docs/a.html?v=1\">A</a></body></html>", "text/html");
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
    const QString home = match.captured(1) + QStringLiteral("/127.0.0.1_%1/index.html").arg(server.port());
    ASSERT_TRUE(QFileInfo(home).isFile()) << home.toStdString();
    EXPECT_TRUE(QFileInfo(match.captured(1) + QStringLiteral("/127.0.0.1_%1/docs/a.html.v=1.html").arg(server.port())).isFile());

    server.stop();
    const QString local = runAndRead({ "--headless", home });
    EXPECT_TRUE(local.contains("\nURLs checked: 4\n")) << local.toStdString();
    EXPECT_TRUE(local.contains("\nBad links: 0\n")) << local.toStdString();
}

TEST(HeadlessArchiveExport, ArchivingKeepsTheStyleSheetsAndScriptsOfThePagesUnlessTold)
{
    crawlmere::engine::registerEngineDefaults(crawlmere::platform::UserDefaults::standard());
    LoopbackServer server;
    const auto serve = [&](const char* path, const char* body, const char* type) {
        server.server().Get(path,
            [body, type](const httplib::Request&, httplib::Response& response) { response.set_content(body, type); });
    };
    serve("/",
        "<html><head><link rel=\"stylesheet\" href=\"/s.css\"><script src=\"/app.js\"></script></head>"
        "<body><img src=\"/logo.png\"></body></html>",
        "text/html");
    serve("/s.css", "body { color: #123 }", "text/css");
    serve("/app.js", "var a = 1;", "application/javascript");
    serve("/logo.png", "\x89PNG\r\n", "image/png");
    ASSERT_TRUE(server.start());
    const struct {
        QStringList set;
        QStringList files;
    } cases[] = {
        { { "shouldArchive=YES" }, { "app.js", "index.html", "logo.png", "s.css" } },
        { { "shouldArchive=YES", "linkedFiles=NO" }, { "index.html", "logo.png" } },
    };
    for (const auto& c : cases) {
        QTemporaryDir save;
        QStringList arguments { "--headless", "--set", "archiveSaveLocation=" + save.path(), server.url() };
        for (const QString& value : c.set)
            arguments = QStringList { "--set", value } + arguments;
        const QString out = runAndRead(arguments);
        const auto match = QRegularExpression("Archive: exported to (.*) \\(").match(out);
        ASSERT_TRUE(match.hasMatch()) << out.toStdString();
        const QDir site(match.captured(1) + QStringLiteral("/127.0.0.1_%1").arg(server.port()));
        EXPECT_EQ(site.entryList(QDir::Files, QDir::Name), c.files) << c.set.join(u' ').toStdString();
    }
}

TEST(HeadlessArchiveExport, AControlCharacterInALinkLosesNothingAndAFileAsTheFolderIsAnError)
{
    crawlmere::engine::registerEngineDefaults(crawlmere::platform::UserDefaults::standard());
    LoopbackServer server;
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body><a href=\"nul%00byte.html\">nul</a> <a href=\"tab%01x.html\">one</a> "
                             "<a href=\"plain.html\">plain</a></body></html>",
            "text/html");
    });
    server.server().Get(".*", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content("<html><body>page " + std::to_string(request.path.size()) + "</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    QTemporaryDir save;
    const QStringList archived { "--headless", "--set", "shouldArchive=YES", server.url() };

    const HeadlessRun exported = run(QStringList(archived) << "--set"
                                                           << "archiveSaveLocation=" + save.path());
    EXPECT_EQ(exported.status, 0) << exported.err.toStdString();
    const auto match
        = QRegularExpression("Archive: exported to (.*) \\((\\d+) files in [0-9.]+ s\\)").match(exported.out);
    ASSERT_TRUE(match.hasMatch()) << exported.out.toStdString() << exported.err.toStdString();
    EXPECT_EQ(match.captured(2).toInt(), 4);
    const QString site = match.captured(1) + QStringLiteral("/127.0.0.1_%1/").arg(server.port());

    // "~/" is the home folder in force, not a folder named "~".
    const QString exports = crawlmere::platform::Paths::home() + "/exports";
    const HeadlessRun tilde = run(QStringList(archived) << "--set"
                                                        << "archiveSaveLocation=~/exports");
    EXPECT_EQ(tilde.status, 0) << tilde.err.toStdString();
    EXPECT_TRUE(tilde.out.contains("Archive: exported to " + exports + "/")) << tilde.out.toStdString();
    EXPECT_TRUE(QFileInfo(exports).isDir());
    EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("~"))) << "a literal ~ folder";
    QDir(exports).removeRecursively();

    // A plain file where the folder should be: an error that says so, not an empty archive.
    const QString plainFile = save.filePath("not-a-folder");
    {
        QFile file(plainFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    const HeadlessRun refused = run(QStringList(archived) << "--set"
                                                          << "archiveSaveLocation=" + plainFile);
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.out.contains("Archive: not exported (" + plainFile + " is a file, not a folder)"))
        << refused.out.toStdString();
    EXPECT_TRUE(
        refused.err.contains("crawlmere: the archive could not be exported: " + plainFile + " is a file, not a folder"))
        << refused.err.toStdString();
    EXPECT_FALSE(refused.out.contains("nothing was archived"));

    // The copy, as it is used: with the site gone.
    server.stop();
    EXPECT_TRUE(QFileInfo(site + "plain.html").isFile());
    EXPECT_TRUE(QFileInfo(site + "index.html").isFile());
    const QString local = runAndRead({ "--headless", site + "index.html" });
    EXPECT_TRUE(local.contains("\nBad links: 0\n")) << local.toStdString();
}

TEST(HeadlessArchiveExport, AFileTheDiskRefusesEndsTheProgramWithAnError)
{
    crawlmere::engine::registerEngineDefaults(crawlmere::platform::UserDefaults::standard());
    // A page eight folders down links home 150 times: 3 KB as archived, 8 KB once its links
    // are rewritten to "../../../../../../../../index.html".
    LoopbackServer server;
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body><a href=\"/a/b/c/d/e/f/g/h/\">deep</a></body></html>", "text/html");
    });
    server.server().Get("/a/b/c/d/e/f/g/h/", [](const httplib::Request&, httplib::Response& response) {
        std::string page = "<html><body>";
        for (int i = 0; i < 150; ++i)
            page += "<a href=\"/\">home</a> ";
        response.set_content(page + "</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    QTemporaryDir save;
    HeadlessRun exported;
    // The disk takes no file past 5,000 bytes.
    ASSERT_TRUE(crawlmere::test::withFileSizeLimit(5000, [&] {
        exported = run({ "--headless", "--set", "shouldArchive=YES", "--set", "archiveSaveLocation=" + save.path(),
            server.url() });
    }));
    EXPECT_EQ(exported.status, 1) << exported.err.toStdString();
    const auto match = QRegularExpression("Archive: exported to (.*) \\(1 files in [0-9.]+ s, 1 could not be written "
                                          "\\((.*): File too large\\)\\)")
                           .match(exported.out);
    ASSERT_TRUE(match.hasMatch()) << exported.out.toStdString();
    const QString refused
        = match.captured(1) + QStringLiteral("/127.0.0.1_%1/a/b/c/d/e/f/g/h/index.html").arg(server.port());
    EXPECT_EQ(match.captured(2), refused);
    const QString said = "crawlmere: the archive could not be exported: 1 of its files could not be written (" + refused
        + ": File too large)";
    EXPECT_TRUE(exported.err.contains(said)) << exported.err.toStdString();
}

} // namespace
