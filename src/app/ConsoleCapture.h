// Captures the process's own standard error through a pipe and hands it, filtered, to the main thread.
#pragma once

#include <QObject>
#include <QString>
#include <QStringDecoder>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

namespace crawlmere::app {

/// Redirects descriptor 2 into a pipe read by a thread of its own (reads of up to 4096 bytes),
/// so that the main thread can write any amount to standard error without ever blocking on a
/// full pipe. The reader itself passes what it reads on at once: the bytes as written to the
/// standard error the program started with (the terminal; a write it cannot take within a
/// moment is dropped there), and the filtered text to the log file, so both get everything even
/// when the main thread never runs again (a hang, a lost display, `exit` from a library). A
/// fatal signal (abort, a crash) first hands what is still in the pipe to both and puts the
/// terminal back on descriptor 2, so the crash report that follows reaches it. The filtered
/// text reaches the main thread in order for the console view. UTF-8 split across reads is
/// carried over; only invalid bytes become U+FFFD. Lines holding one of the networking layer's
/// noise texts are dropped line by line; an unfinished last line waits for more only when its
/// read was a full one.
///
/// Create, start and stop on the main thread; `textAppended` is emitted there. One capture
/// per process; the destructor stops it.
class ConsoleCapture : public QObject {
    Q_OBJECT
public:
    /// Pending bytes kept while the main thread is busy; past it, reads are dropped and counted.
    static constexpr qsizetype kPendingCap = 16 * 1024 * 1024;
    static constexpr qsizetype kReadSize = 4096;

    explicit ConsoleCapture(QObject* parent = nullptr);
    ~ConsoleCapture() override;

    /// The texts whose lines are never shown (case-sensitive, anywhere in the line).
    static const QStringList& noiseTexts();
    /// True when `line` holds one of `noiseTexts()`.
    static bool isNoise(QStringView line);

    /// The mirror file, appended to by the reader thread; empty (the default) writes nothing to
    /// disk. Set before `start`.
    void setLogFile(const QString& path) { m_logFile = path; }
    const QString& logFile() const { return m_logFile; }

    /// Makes the pipe, puts its write end on descriptor 2 and starts the reader. False (and
    /// standard error untouched) when a pipe or the thread cannot be made, or when running.
    bool start();
    /// Puts the original standard error back on descriptor 2, wakes and joins the reader (never
    /// waits on a writer, even one still holding the pipe), then shows what it had read. Lines
    /// written afterwards reach the original standard error. Harmless when not running.
    void stop();
    bool isRunning() const { return m_reader.joinable(); }

    /// append:toFile:encoding: appends `text` in UTF-8 to `path`, creating it empty when it does
    /// not exist. False when it cannot be opened or written.
    static bool appendToFile(const QString& text, const QString& path);

Q_SIGNALS:
    /// Text to append to the console, whole lines unless the writer paused mid-line.
    void textAppended(const QString& text);

private:
    void readLoop();
    /// Reader thread: the bytes read go to the terminal, their filtered text to the log file
    /// and the queue for the main thread.
    void passOn(const QByteArray& bytes, bool full);
    void deliverPending();
    /// Reader thread (main thread once it is joined): decoding and the line filter.
    QString filtered(const QString& decoded, bool moreComing);
    void appendToLog(const QString& text) const;

    QString m_logFile;
    int m_logFd = -1;
    int m_readFd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    int m_savedStderr = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    std::deque<QString> m_pending;
    qsizetype m_pendingBytes = 0;
    qsizetype m_droppedBytes = 0;
    bool m_deliveryPosted = false;
    QStringDecoder m_decoder { QStringDecoder::Utf8 };
    QString m_unfinishedLine;
};

} // namespace crawlmere::app
