#include "support/LoopbackServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString builtProgram()
{
    return QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../crawlmere")).absoluteFilePath();
}

struct Scan {
    int status = -1;
    QString loaderTrace; // the dynamic loader's list of the libraries it mapped, and the program's errors
    QString csv;
};

/// A headless scan of `url` by `program`, with the dynamic loader naming each library it maps.
Scan scan(const QString& program, const QString& url, const QStringList& settings)
{
    QTemporaryDir folder;
    const QString csv = folder.filePath(QStringLiteral("scan.csv"));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CRAWLMERE_HOME"), folder.filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    // The browser engine's own allocations at exit, and the objects it frees through a base
    // without a virtual destructor, are not this program's to answer for.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0:new_delete_type_mismatch=0"));
    process.setProcessEnvironment(environment);
    QStringList arguments { QStringLiteral("--headless"), QStringLiteral("--csv"), csv };
    for (const QString& setting : settings)
        arguments << QStringLiteral("--set") << setting;
    process.start(program, arguments << url);
    Scan run;
    if (!process.waitForFinished(120000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.loaderTrace = QString::fromUtf8(process.readAllStandardError());
    QFile file(csv);
    if (file.open(QIODevice::ReadOnly))
        run.csv = QString::fromUtf8(file.readAll());
    return run;
}

class WebRenderModuleProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFileInfo::exists(builtProgram()))
            GTEST_SKIP() << "the crawlmere program is not built beside the tests";
        server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><head><title>t</title></head><body><div id=\"d\"></div><script>"
                                 "document.getElementById('d').innerHTML = '<a href=\"/made.html\">m</a>';"
                                 "</script></body></html>",
                "text/html");
        });
        server.server().Get("/made.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><body>made</body></html>", "text/html");
        });
        ASSERT_TRUE(server.start());
    }

    crawlmere::test::LoopbackServer server;
};

const QString kEngineLibrary = QStringLiteral("libQt6WebEngineCore");

} // namespace

TEST_F(WebRenderModuleProgram, AScanThatDoesNotRenderNeverMapsTheBrowserEngine)
{
    const Scan plain = scan(builtProgram(), server.url(), {});
    EXPECT_EQ(plain.status, 0);
    EXPECT_FALSE(plain.loaderTrace.contains(kEngineLibrary));
    EXPECT_TRUE(plain.csv.contains(server.url())) << qPrintable(plain.csv);
    EXPECT_FALSE(plain.csv.contains(QStringLiteral("/made.html")));
}

TEST_F(WebRenderModuleProgram, ARenderingScanLoadsTheModuleAndFindsTheScriptsLinks)
{
    const Scan rendered = scan(builtProgram(), server.url(), { QStringLiteral("runJS=YES") });
    EXPECT_EQ(rendered.status, 0);
    EXPECT_TRUE(rendered.loaderTrace.contains(QStringLiteral("crawlmere-webrender.so")));
    EXPECT_TRUE(rendered.loaderTrace.contains(kEngineLibrary));
    EXPECT_TRUE(rendered.csv.contains(server.url(QStringLiteral("/made.html")))) << qPrintable(rendered.csv);
}

TEST_F(WebRenderModuleProgram, WithoutTheModuleARenderingScanSaysSoAndFinishes)
{
    QTemporaryDir alone;
    const QString program = alone.filePath(QStringLiteral("crawlmere"));
    ASSERT_TRUE(QFile::copy(builtProgram(), program));
    const Scan rendered = scan(program, server.url(), { QStringLiteral("runJS=YES") });
    EXPECT_EQ(rendered.status, 0);
    EXPECT_EQ(rendered.loaderTrace.count(QStringLiteral("browser-engine module (crawlmere-webrender.so) was not found")), 1)
        << qPrintable(rendered.loaderTrace.right(2000));
    EXPECT_FALSE(rendered.loaderTrace.contains(kEngineLibrary));
    EXPECT_TRUE(rendered.csv.contains(server.url())) << qPrintable(rendered.csv);
}
