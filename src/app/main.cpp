// Program entry of Crawlmere: the main window on a display, else the command line's scan.
#include "app/HeadlessScan.h"
#include "app/MainInterface.h"
#include "platform/UrlSession.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char** argv)
{
    crawlmere::platform::UrlSession::globalInit();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool display = crawlmere::app::displayAvailable();
    int status = 0;
    if (crawlmere::app::launchModeFor(arguments, display) == crawlmere::app::LaunchMode::Window) {
        status = crawlmere::app::runWindowedApplication(argc, argv);
    } else {
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Crawlmere"));
        QCoreApplication::setApplicationVersion(QStringLiteral(CRAWLMERE_VERSION));
        arguments = QCoreApplication::arguments();
        arguments.removeFirst();
        status = crawlmere::app::runHeadlessCommand(arguments, crawlmere::app::HeadlessConsole::standard(), display);
    }
    crawlmere::platform::UrlSession::shutdown();
    return status;
}
