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

} // namespace crawlmere::test
