// Program entry of Crawlmere: the main window on a display, else the command line's scan.
#include "app/HeadlessScan.h"
#include "app/LibraryMessages.h"
#include "app/MainInterface.h"
#include "platform/LargeMemory.h"
#include "platform/Paths.h"
#include "platform/UrlSession.h"
#include "settings/WebRenderLoader.h"
#include "settings/WebRenderModule.h"

#include <QGuiApplication>
#include <QStringList>

#include <csignal>

namespace app = crawlmere::app;
using crawlmere::settings::WebRenderLoader;

int main(int argc, char** argv)
{
    crawlmere::platform::tuneHeapForScans();
    // A file past the size limit (ulimit -f) fails its write with "File too large" and the save
    // says so, rather than the signal ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // The folders hold passwords and cookies: the user's alone, files written before included.
    crawlmere::platform::Paths::securePrivateFolders();
    crawlmere::platform::UrlSession::globalInit();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    int status = 0;
    if (app::launchModeOfProgram(arguments) == app::LaunchMode::Window) {
        // The windowed program loads the browser engine at start: it must know its schemes
        // before the application object is made.
        WebRenderLoader::prepareProcess();
        if (crawlmere::settings::WebRenderModule* module = WebRenderLoader::module())
            module->prepareApplication();
        status = app::runWindowedApplication(argc, argv, app::documentsOnCommandLine(arguments));
    } else {
        // A scan without windows never draws: the offscreen platform serves the page renderer
        // and does not depend on a display server that may have gone away.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // The browser engine is loaded only when a record is rendered, and its pages need a GUI
        // application but no widgets.
        WebRenderLoader::prepareProcess();
        app::sendLibraryMessagesToLog();
        QGuiApplication application(argc, argv);
        WebRenderLoader::installPageRenderer();
        QCoreApplication::setApplicationName(QStringLiteral("Crawlmere"));
        QCoreApplication::setApplicationVersion(QStringLiteral(CRAWLMERE_VERSION));
        status = app::runHeadlessCommand(arguments, app::HeadlessConsole::standard(), app::displayNamed());
        // Fetches still finishing hand their last steps to this thread: serve them while the
        // application object is still there to run them.
        crawlmere::platform::UrlSession::shutdown();
    }
    return status;
}
