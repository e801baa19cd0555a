// Program entry of Crawlmere: the command line runs a scan without windows.
#include "app/HeadlessScan.h"
#include "platform/UrlSession.h"
#include "webrender/WebRenderSetup.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char** argv)
{
    crawlmere::platform::UrlSession::globalInit();
    int status = 0;
    {
        crawlmere::webrender::prepareApplication();
        QApplication application(argc, argv);
        crawlmere::webrender::installPageRenderer();
        QCoreApplication::setApplicationName(QStringLiteral("Crawlmere"));
        QCoreApplication::setApplicationVersion(QStringLiteral(CRAWLMERE_VERSION));

        // There is no main window in this build: with or without a display the scan runs
        // headless (runHeadlessCommand says so when a display was there and --headless was not
        // given).
        const bool displayAvailable
            = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
        QStringList arguments = QCoreApplication::arguments();
        arguments.removeFirst();
        status = crawlmere::app::runHeadlessCommand(
            arguments, crawlmere::app::HeadlessConsole::standard(), displayAvailable);
        crawlmere::platform::UrlSession::shutdown();
    }
    return status;
}
