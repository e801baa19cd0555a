// Entry point of every test executable: a Qt application object for the event loop and a
// private CRAWLMERE_HOME so no test touches the real home folder. Suites of widget code are
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

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    qputenv("CRAWLMERE_HOME", home.path().toUtf8());
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
    }
    crawlmere::platform::UrlSession::shutdown();
    return result;
}
