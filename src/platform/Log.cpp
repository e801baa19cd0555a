#include "platform/Log.h"

#include "platform/UserDefaults.h"

#include <cstdio>
#include <mutex>

namespace crawlmere::platform {

int verbosity()
{
    return static_cast<int>(UserDefaults::standard().value(defaultsKey::verbosity));
}

void logLine(int minimumVerbosity, const QString& text)
{
    if (minimumVerbosity > 0 && verbosity() < minimumVerbosity)
        return;
    static std::mutex mutex;
    const QByteArray line = text.toUtf8() + '\n';
    std::lock_guard lock(mutex);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace crawlmere::platform
