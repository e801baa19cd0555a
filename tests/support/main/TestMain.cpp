// Entry point of every test executable: a Qt application object for the event loop and a
// private CRAWLMERE_HOME (and XDG_CONFIG_HOME) so no test touches the real home folder. Suites of widget code are
// built with CRAWLMERE_TEST_GUI and get a QApplication (offscreen under ctest); the others
// get a QCoreApplication.
#include "platform/UrlSession.h"

#ifdef CRAWLMERE_TEST_GUI
#include <QApplication>
#else
#include <QCoreApplication>
#endif
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Sanitizer settings of every suite, built in so that they hold however the suite is started
// (ctest, its test discovery, or by hand). Read only by a sanitized build.
extern "C" {
const char* __lsan_default_options() { return "suppressions=" CRAWLMERE_LSAN_SUPPRESSIONS ":print_suppressions=0"; }
const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // No suite needs a display, and the browser engine cannot start sandboxed as root.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    qputenv("CRAWLMERE_HOME", home.path().toUtf8());
    // Folders that other programs share with this one (the systemd user units) follow
    // XDG_CONFIG_HOME, not CRAWLMERE_HOME: it points into the private home too.
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    crawlmere::platform::UrlSession::globalInit();
    int result = 0;
    {
#ifdef CRAWLMERE_TEST_GUI
        // The browser engine shares OpenGL contexts; it must be asked before the application.
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        QApplication app(argc, argv);
#else
        QCoreApplication app(argc, argv);
#endif
        result = RUN_ALL_TESTS();
        // Fetches still finishing post their last steps to the main thread: run them while
        // the application object is there (after it, a posted step has nowhere to go).
        crawlmere::platform::UrlSession::shutdown();
    }
    return result;
}
