// The headless program's command run in this process, its output and errors thrown away.
#pragma once

#include "app/HeadlessScan.h"

#include <QStringList>

#include <cstdio>

namespace crawlmere::test {

/// The exit status of `arguments` run as the program without a display would run them.
inline int runHeadlessQuietly(const QStringList& arguments)
{
    std::FILE* sink = std::tmpfile();
    app::HeadlessConsole console;
    console.out = sink;
    console.err = sink;
    console.watchInterrupt = false;
    const int status = app::runHeadlessCommand(arguments, console, /*displayAvailable=*/false);
    std::fclose(sink);
    return status;
}

/// The same, with what the run printed (summary and messages together) in `printed`.
inline int runHeadlessCapturing(const QStringList& arguments, QString* printed)
{
    std::FILE* sink = std::tmpfile();
    app::HeadlessConsole console;
    console.out = sink;
    console.err = sink;
    console.watchInterrupt = false;
    const int status = app::runHeadlessCommand(arguments, console, /*displayAvailable=*/false);
    std::rewind(sink);
    QByteArray bytes;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, sink)) > 0;)
        bytes.append(buffer, qsizetype(n));
    std::fclose(sink);
    *printed = QString::fromUtf8(bytes);
    return status;
}

} // namespace crawlmere::test
