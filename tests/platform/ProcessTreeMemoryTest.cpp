// The memory watchdog counts the processes a program started and ends them past its cap.
#include "platform/ProcessTreeMemory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

using crawlmere::platform::MemoryWatchdog;
using crawlmere::platform::ProcessTreeMemory;

TEST(ProcessTreeMemoryTest, AChildThatFillsMemoryIsCountedAndEndedPastTheCap)
{
    constexpr qint64 kChildBytes = 256 << 20;
    const qint64 before = ProcessTreeMemory::residentBytes(::getpid());
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only system calls here: the test process has threads.
        void* block = ::mmap(nullptr, kChildBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block != MAP_FAILED)
            std::memset(block, 1, kChildBytes);
        (void)!::write(ready[1], "r", 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);

    EXPECT_GE(ProcessTreeMemory::residentBytes(::getpid()), before + kChildBytes * 3 / 4);
    std::atomic<qint64> seen { 0 };
    {
        const MemoryWatchdog watchdog(before + kChildBytes / 2, std::chrono::milliseconds(20), [&](qint64 bytes) {
            seen = bytes;
            ProcessTreeMemory::killDescendants(::getpid());
        });
        for (int i = 0; i < 250 && seen == 0; ++i)
            ::usleep(20000);
    }
    int status = 0;
    if (seen == 0)
        ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_GT(seen.load(), before + kChildBytes / 2);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}
