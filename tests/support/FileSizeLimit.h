// A disk that fills up, for tests: a cap on the size of the files this process writes.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <functional>

namespace crawlmere::test {

/// Runs `action` while a write that would make any file of the process longer than `bytes` fails
/// (EFBIG, SIGXFSZ ignored) as on a full disk, root included. Answers false, without running
/// `action`, when the limit cannot be set. The limit is the whole process's: one at a time.
inline bool withFileSizeLimit(long long bytes, const std::function<void()>& action)
{
    rlimit original {};
    if (getrlimit(RLIMIT_FSIZE, &original) != 0)
        return false;
    rlimit limited = original;
    limited.rlim_cur = rlim_t(bytes);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const bool isLimited = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    if (isLimited) {
        action();
        setrlimit(RLIMIT_FSIZE, &original);
    }
    std::signal(SIGXFSZ, previousHandler);
    return isLimited;
}

} // namespace crawlmere::test
