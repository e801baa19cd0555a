#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>
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

ProgramRun runProgram(const QStringList& arguments, const QString& display, const QString& home = QString())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!home.isEmpty())
        environment.insert(QStringLiteral("CRAWLMERE_HOME"), home);
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

TEST(HeadlessProgram, ASettingsFileJoinsTheSiteListOnceAndIsStamped)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    using crawlmere::platform::PropertyList;
    QTemporaryDir home;
    const QString page = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    const QString settingsFile = home.filePath(QStringLiteral("site.lcsettings"));
    ASSERT_TRUE(PropertyList::writeXmlFile(settingsFile,
        QVariantMap { { "id", "20260101-1200001" }, { "name", "Sample" }, { "startingUrl", page }, { "timeout", 30 } })
                    .ok());
    const QString defaultsFile = home.filePath(QStringLiteral(".config/Crawlmere/defaults.plist"));
    const auto sites = [&defaultsFile] {
        return PropertyList::readFile(defaultsFile).value().toMap().value(QStringLiteral("websites")).toList();
    };
    // The list's entries of the file's site, and how many entries the list has in all.
    const auto entries = [&sites](qsizetype* total) {
        QVariantList found;
        for (const QVariant& site : sites()) {
            if (site.toMap().value("id") == "20260101-1200001")
                found.append(site);
        }
        *total = sites().size();
        return found;
    };
    qsizetype total = 0;

    const ProgramRun first = runProgram(
        { QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("timeout=5"), settingsFile }, QString(),
        home.path());
    ASSERT_EQ(first.status, 0) << qPrintable(first.err);
    const QVariantList added = entries(&total);
    ASSERT_EQ(added.size(), 1);
    const qsizetype totalAfterFirst = total;
    const QVariantMap stored = added.first().toMap();
    EXPECT_TRUE(stored.value("dateStamp").toDateTime().isValid());
    EXPECT_EQ(stored.value("timeout").toInt(), 30); // --set changed only the scan's copy
    EXPECT_EQ(PropertyList::readFile(defaultsFile).value().toMap().value("id").toString(), "20260101-1200001");

    const ProgramRun second = runProgram({ QStringLiteral("--headless"), settingsFile }, QString(), home.path());
    ASSERT_EQ(second.status, 0) << qPrintable(second.err);
    const QVariantList selected = entries(&total);
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(total, totalAfterFirst);
    EXPECT_GE(selected.first().toMap().value("dateStamp").toDateTime(), stored.value("dateStamp").toDateTime());
}
