// crawlmere-thumbnail URL FILE: makes one site thumbnail on the offscreen platform, so that the
// browser engine's view never appears on the user's screen. The program's window starts it and
// reads its exit status: 0 written, 1 writing failed, 2 certificate rejected, 3 not loaded (in
// time), 4 more memory than it may take, 64 wrong arguments. What it and the engine say goes to standard error, which the window
// keeps in its log.
#include "platform/ProcessTreeMemory.h"
#include "webrender/ThumbnailPage.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

using crawlmere::platform::MemoryWatchdog;
using crawlmere::platform::ProcessTreeMemory;
using crawlmere::webrender::ThumbnailPage;

namespace {

/// The most resident memory the program and the engine's processes may take together: an
/// endless page or one that fills memory from a script ends here, not with the machine's.
constexpr qint64 kMemoryCapBytes = qint64(1) << 30;

} // namespace

// In a checked build: the browser engine frees some objects of its own through a base without a
// virtual destructor.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: crawlmere-thumbnail URL FILE\n");
        return 64;
    }
    // Goes with the window that asked for it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const MemoryWatchdog watchdog(kMemoryCapBytes, std::chrono::milliseconds(100), [](qint64 bytes) {
        std::fprintf(stderr, "the page took %lld MB of memory, more than %lld MB: given up\n",
            static_cast<long long>(bytes >> 20), static_cast<long long>(kMemoryCapBytes >> 20));
        ProcessTreeMemory::killDescendants(::getpid());
        std::fflush(stderr);
        _exit(4);
    });
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    ThumbnailPage page(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
        [](ThumbnailPage::Outcome outcome, const QString& message) {
            if (!message.isEmpty())
                std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
            QCoreApplication::exit(outcome == ThumbnailPage::Outcome::Written ? 0
                    : outcome == ThumbnailPage::Outcome::WriteFailed          ? 1
                    : outcome == ThumbnailPage::Outcome::NotLoaded            ? 3
                                                                              : 2);
        });
    // The window gives up sooner; this is for a window that is no longer there to kill it.
    QTimer::singleShot(60000, &application, [] { QCoreApplication::exit(3); });
    page.load();
    const int exitStatus = application.exec();
    // Nothing is kept past the file: the engine's slow wind-down (and, in a checked build, the
    // leak report of its one-time allocations) is skipped.
    std::fflush(stderr);
    _exit(exitStatus);
}
