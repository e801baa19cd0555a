// One scan without windows: the hub wired to headless shell services, driven from the command
// line to its finish or to Ctrl-C, with a progress line, a summary and the CSV export.
#pragma once

#include "app/HeadlessOptions.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>
#include <memory>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::app {

/// The exit statuses of a headless run.
inline constexpr int kExitFinished = 0; ///< the scan finished (its CSV, if asked for, written)
inline constexpr int kExitFailed = 1; ///< the scan could not start, or its CSV could not be written
inline constexpr int kExitUsage = 2; ///< the command line was wrong
inline constexpr int kExitInterrupted = 130; ///< Ctrl-C stopped the scan (its CSV still written)

/// Where a headless run writes: the summary to `out`, the progress line and messages to `err`.
/// `errIsTerminal` makes the progress line rewrite itself in place.
struct HeadlessConsole {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool errIsTerminal = false;
    /// Ctrl-C stops the scan (a SIGINT handler is installed for the run). Off in tests that
    /// drive `interrupt` themselves.
    bool watchInterrupt = true;

    /// The process's own standard output and error, with the terminal test made on stderr.
    static HeadlessConsole standard();
};

/// One scan of `options` with the defaults store `defaults`, which gets the `--default` values
/// for the length of the run (taken away again when the scan object goes). Needs a
/// QCoreApplication and the network layer (`UrlSession::globalInit`); runs on the main thread.
class HeadlessScan {
public:
    HeadlessScan(HeadlessOptions options, platform::UserDefaults& defaults, HeadlessConsole console);
    ~HeadlessScan();
    HeadlessScan(const HeadlessScan&) = delete;
    HeadlessScan& operator=(const HeadlessScan&) = delete;

    /// Starts the scan and runs the event loop until it finishes or is interrupted, then writes
    /// the summary and the CSV. Returns the exit status. Call once.
    int run();

    /// What Ctrl-C does: the scan is paused (fetches in flight are dropped back into the queue)
    /// and `run` ends as if it had finished, with status 130. After the scan has finished it
    /// cancels the archive export instead; the exports and the summary are still written, and
    /// `run` answers 130. Main thread; any time during `run` (the event loop must be running or
    /// about to run).
    void interrupt();

    /// What a target gives the scan's settings, before `--set` values and before the keys it
    /// lacks are completed: the starting URL of a URL or local file; the site dictionary of a
    /// settings file. nullopt with `error` set when a settings file cannot be used.
    static std::optional<QVariantMap> settingsForTarget(const HeadlessOptions& options, QString* error);

private:
    struct State;
    std::unique_ptr<State> d;
};

/// The whole headless program on `arguments` (without the program name): reads the command
/// line (usage errors and `--help` answered here), prints the one-line notice when a display is
/// there but no `--headless` was asked for, runs the scan on `UserDefaults::standard()` prepared
/// as every launch prepares it (`prepareDefaultsForLaunch`), and returns the exit status.
int runHeadlessCommand(const QStringList& arguments, const HeadlessConsole& console, bool displayAvailable);

} // namespace crawlmere::app
