// Program entry of Crawlmere: the main window on a display, else the command line's scan.
#include "app/HeadlessScan.h"
#include "app/MainInterface.h"
#include "platform/UrlSession.h"

#include <QCoreApplication>
#include <QStringList>

namespace app = crawlmere::app;

int main(int argc, char** argv)
{
    crawlmere::platform::UrlSession::globalInit();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    int status = 0;
    if (app::launchModeOfProgram(arguments) == app::LaunchMode::Window) {
        status = app::runWindowedApplication(argc, argv);
    } else {
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Crawlmere"));
        QCoreApplication::setApplicationVersion(QStringLiteral(CRAWLMERE_VERSION));
        status = app::runHeadlessCommand(arguments, app::HeadlessConsole::standard(), app::displayNamed());
    }
    crawlmere::platform::UrlSession::shutdown();
    return status;
}
