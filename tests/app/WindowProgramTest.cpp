#include "support/VirtualDisplay.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString programPath()
{
    return QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../crawlmere")).absoluteFilePath();
}

} // namespace

TEST(WindowProgram, OpensItsWindowOnADisplayAndQuitsWithCtrlQKeepingItsDefaults)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    if (const QString why = crawlmere::test::whyNoVirtualDisplay(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "xdotool is needed";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CRAWLMERE_HOME"), home.path());
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    // A sanitized program loads the desktop's libraries here, the OpenGL drivers of the shared
    // context the browser engine needs among them; they allocate once and are unloaded before
    // the leak check, which then cannot even name them. The window's own code is checked for
    // leaks by the offscreen suites.
    QString sanitizerOptions = environment.value(QStringLiteral("ASAN_OPTIONS"));
    sanitizerOptions += sanitizerOptions.isEmpty() ? QStringLiteral("detect_leaks=0") : QStringLiteral(":detect_leaks=0");
    environment.insert(QStringLiteral("ASAN_OPTIONS"), sanitizerOptions);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(crawlmere::test::virtualDisplayScript(),
        { QStringLiteral("1280x800x24"), QStringLiteral(CRAWLMERE_FIXTURES "/../app/open-and-quit.sh"), programPath() });
    ASSERT_TRUE(process.waitForFinished(120000));
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(process.exitCode(), 90) << "no Crawlmere window showed";
    EXPECT_NE(process.exitCode(), 91) << "Ctrl+Q did not end the program";
    EXPECT_EQ(process.exitCode(), 0);

    const QString plist = home.filePath(QStringLiteral(".config/Crawlmere/defaults.plist"));
    QFile file(plist);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(plist);
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("<key>badLinksOnly</key>"));
    EXPECT_TRUE(text.contains("<key>mainWindowFrame</key>"));
}
