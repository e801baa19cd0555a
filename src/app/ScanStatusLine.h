// The progress line of a scan without windows: its text and how often it is written.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace crawlmere::app {

/// Decides what the progress line writes and when. On a terminal the line is rewritten in
/// place ("\r") at most every `kTerminalIntervalMs`; elsewhere (a log file, a pipe) a plain
/// line is written at most once a second and only when a count changed.
class ScanStatusLine {
public:
    static constexpr qint64 kTerminalIntervalMs = 250;
    static constexpr qint64 kPlainIntervalMs = 1000;

    struct Counts {
        qint64 done = 0;
        qint64 queued = 0;
        qint64 inFlight = 0;
        qint64 bad = 0;
        bool operator==(const Counts&) const = default;
    };

    explicit ScanStatusLine(bool terminal)
        : m_terminal(terminal)
    {
    }

    /// "120 done, 340 in queue, 12 in flight, 3 bad links".
    static QString text(const Counts& counts);

    /// The bytes to write for `counts` at `nowMs` (any monotonic clock in milliseconds), or
    /// nothing when the line was written too recently or (off a terminal) nothing changed.
    std::optional<QByteArray> update(const Counts& counts, qint64 nowMs);

    /// The bytes that end the progress output before the summary, `last` being the counts the
    /// summary gives: on a terminal the rewritten line is blanked and the cursor returned to its
    /// start; elsewhere, once any line was written, a last line with `last` unless the last line
    /// written already says so, so the progress never ends on counts the summary contradicts.
    QByteArray finish(const Counts& last);

    bool isTerminal() const { return m_terminal; }

private:
    bool m_terminal;
    std::optional<qint64> m_lastWriteMs;
    std::optional<Counts> m_lastCounts;
    qsizetype m_lastLength = 0;
};

} // namespace crawlmere::app
