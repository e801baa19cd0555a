// A headless scan run in this process for the rendering suites: its CSV read back as status by
// URL, and a loopback server started and listening.
#pragma once

#include "app/HeadlessScan.h"
#include "engine/EngineDefaults.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "support/LoopbackServer.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

namespace crawlmere::test {

/// Status text by URL of one scan of `url`, with `extra` arguments before it.
inline std::map<QString, QString> headlessScan(const QString& url, const QStringList& extra, int* exitStatus = nullptr)
{
    engine::registerEngineDefaults(platform::UserDefaults::standard());
    QTemporaryDir folder;
    const QString csv = folder.filePath(QStringLiteral("scan.csv"));
    std::FILE* sink = std::tmpfile();
    app::HeadlessConsole console;
    console.out = sink;
    console.err = sink;
    console.watchInterrupt = false;
    const QStringList arguments = QStringList { QStringLiteral("--headless"), QStringLiteral("--columns"),
                                      QStringLiteral("url,status"), QStringLiteral("--csv"), csv }
        + extra + QStringList { url };
    const int status = app::runHeadlessCommand(arguments, console, false);
    std::fclose(sink);
    if (exitStatus)
        *exitStatus = status;
    std::map<QString, QString> rows;
    QFile file(csv);
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    file.readLine(); // the header
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        const QStringList fields = line.mid(1, line.size() - 2).split(QStringLiteral("\",\""));
        if (fields.size() >= 2)
            rows[fields[0]] = fields[1];
    }
    return rows;
}

/// Starts `server` with enough workers for a browser's parallel and idle connections, which it
/// keeps open only briefly.
inline bool startListening(LoopbackServer& server)
{
    server.server().new_task_queue = [] { return new httplib::ThreadPool(16); };
    server.server().set_keep_alive_timeout(1);
    return server.start()
        && platform::Dispatch::runUntil([&] { return server.server().is_running(); }, std::chrono::seconds(10));
}

} // namespace crawlmere::test
