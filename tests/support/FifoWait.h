// Telling a call that waits on a FIFO for a writer from one that does not, without hanging.
#pragma once

#include <QFile>
#include <QString>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <unistd.h>

namespace crawlmere::test {

/// Runs `action` on a thread of its own. When it has not ended after 5 s (it waits on the FIFO
/// at `path` for a writer), the FIFO is given a writer until it ends, and the answer is false.
inline bool endsWithoutWaitingOn(const QString& path, const std::function<void()>& action)
{
    auto running = std::async(std::launch::async, action);
    if (running.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
        return true;
    while (running.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0)
            ::close(writer);
    }
    return false;
}

} // namespace crawlmere::test
