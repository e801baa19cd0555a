// Entry point of every test executable: a Qt application object for the event loop and a
// private CRAWLMERE_HOME so no test touches the real home folder.
#include "platform/UrlSession.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    qputenv("CRAWLMERE_HOME", home.path().toUtf8());
    crawlmere::platform::UrlSession::globalInit();
    QCoreApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    crawlmere::platform::UrlSession::shutdown();
    return result;
}
