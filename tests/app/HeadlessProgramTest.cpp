#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

/// The built program, beside the tests folder of the build.
QString programPath()
{
    return QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../crawlmere")).absoluteFilePath();
}

struct ProgramRun {
    int status = -1;
    QString out;
    QString err;
};

ProgramRun runProgram(const QStringList& arguments, const QString& display)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (display.isEmpty())
        environment.remove(QStringLiteral("DISPLAY"));
    else
        environment.insert(QStringLiteral("DISPLAY"), display);
    process.setProcessEnvironment(environment);
    process.start(programPath(), arguments);
    ProgramRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

TEST(HeadlessProgram, ADisplayWithoutHeadlessStillScansHeadlessAndSaysSoOnce)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const QString page = QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html");
    ASSERT_TRUE(QFileInfo::exists(page));

    const ProgramRun withDisplay = runProgram({ page }, QStringLiteral(":99"));
    EXPECT_EQ(withDisplay.status, 0) << qPrintable(withDisplay.err);
    EXPECT_EQ(withDisplay.err.count(QStringLiteral("scanned without windows")), 1) << qPrintable(withDisplay.err);
    EXPECT_TRUE(withDisplay.out.startsWith(QStringLiteral("Scan finished: file://"))) << qPrintable(withDisplay.out);

    const ProgramRun asked = runProgram({ QStringLiteral("--headless"), page }, QStringLiteral(":99"));
    EXPECT_EQ(asked.status, 0);
    EXPECT_FALSE(asked.err.contains(QStringLiteral("without windows")));
    const ProgramRun noDisplay = runProgram({ page }, QString());
    EXPECT_EQ(noDisplay.status, 0);
    EXPECT_FALSE(noDisplay.err.contains(QStringLiteral("without windows")));
}

TEST(HeadlessProgram, ExitStatusesOfTheCommandLine)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const ProgramRun version = runProgram({ QStringLiteral("--version") }, QString());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QStringLiteral("Crawlmere " CRAWLMERE_VERSION "\n"));

    const ProgramRun noTarget = runProgram({ QStringLiteral("--headless") }, QString());
    EXPECT_EQ(noTarget.status, 2);
    EXPECT_TRUE(noTarget.err.startsWith(QStringLiteral("crawlmere: no target given\n\nusage: crawlmere")))
        << qPrintable(noTarget.err);
    EXPECT_TRUE(noTarget.out.isEmpty());
}
