// The headless program's command run in this process, and the stdio files that stand in for its
// output and errors, read back by the test.
#pragma once

#include "app/HeadlessScan.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace crawlmere::test {

/// A stdio file that a run writes to and the test reads back.
class CapturedFile {
public:
    CapturedFile()
        : m_file(std::tmpfile())
    {
    }
    ~CapturedFile()
    {
        if (m_file)
            std::fclose(m_file);
    }
    CapturedFile(const CapturedFile&) = delete;
    CapturedFile& operator=(const CapturedFile&) = delete;
    std::FILE* get() const { return m_file; }
    /// Everything written so far; later writes still append.
    QByteArray bytes() const
    {
        std::fflush(m_file);
        std::rewind(m_file);
        QByteArray bytes;
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0)
            bytes.append(buffer, static_cast<qsizetype>(n));
        std::fseek(m_file, 0, SEEK_END);
        return bytes;
    }
    QString text() const { return QString::fromUtf8(bytes()); }

private:
    std::FILE* m_file;
};

/// The exit status of `arguments` run as the program without a display would run them, with
/// what the run printed (summary and messages together) in `printed` when it is given.
inline int runHeadlessCapturing(const QStringList& arguments, QString* printed)
{
    CapturedFile sink;
    app::HeadlessConsole console;
    console.out = sink.get();
    console.err = sink.get();
    console.watchInterrupt = false;
    const int status = app::runHeadlessCommand(arguments, console, /*displayAvailable=*/false);
    if (printed)
        *printed = sink.text();
    return status;
}

/// The same, what the run printed thrown away.
inline int runHeadlessQuietly(const QStringList& arguments) { return runHeadlessCapturing(arguments, nullptr); }

} // namespace crawlmere::test
