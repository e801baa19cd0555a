// Large regions: aligned, zero-filled, given back whole, and marked for huge pages when asked.
#include "platform/LargeMemory.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace crawlmere::platform;

namespace {

// The kernel's flags of the mapping that holds `address` ("hg": asked for huge pages); empty
// when no mapping holds it.
QByteArray vmFlagsOf(const void* address)
{
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly))
        return {};
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    for (QByteArray line = smaps.readLine(); !line.isEmpty(); line = smaps.readLine()) {
        const QByteArray first = line.left(line.indexOf(' '));
        if (!first.endsWith(':')) {
            // A mapping's heading: "start-end perms offset device inode path".
            const int dash = first.indexOf('-');
            bool okStart = false, okEnd = false;
            const auto start = first.left(dash).toULongLong(&okStart, 16);
            const auto end = first.mid(dash + 1).toULongLong(&okEnd, 16);
            inside = okStart && okEnd && start <= at && at < end;
        } else if (inside && first == "VmFlags:") {
            return line.mid(8).trimmed();
        }
    }
    return {};
}

} // namespace

TEST(LargeMemory, RegionsAreAlignedZeroedAndMarkedForHugePagesOnlyWhenAsked)
{
    constexpr std::size_t kBytes = std::size_t(2) << 20;
    // A kernel without transparent huge pages takes no hint.
    const bool kernelHasHugePages = QFile::exists(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    struct Case {
        std::size_t alignment;
        bool hugePages;
    };
    for (const Case& c :
        { Case { 4096, false }, Case { kBytes, false }, Case { kBytes, true }, Case { kBytes * 4, true } }) {
        void* region = mapLargeRegion(kBytes, c.alignment, c.hugePages);
        ASSERT_NE(region, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(region) % c.alignment, 0u);
        const auto* bytes = static_cast<const unsigned char*>(region);
        EXPECT_EQ(bytes[0], 0);
        EXPECT_EQ(bytes[kBytes - 1], 0);
        std::memset(region, 0xab, kBytes);
        const QByteArray flags = vmFlagsOf(region);
        ASSERT_FALSE(flags.isEmpty());
        EXPECT_EQ(flags.split(' ').contains("hg"), c.hugePages && kernelHasHugePages) << flags.constData();
        unmapLargeRegion(region, kBytes);
    }
    // Sizes the system cannot align to are refused, not rounded.
    EXPECT_EQ(mapLargeRegion(kBytes, 3 * 4096, false), nullptr);
    EXPECT_EQ(mapLargeRegion(0, 4096, false), nullptr);
}

TEST(LargeMemory, BigArraysGetTheirOwnHugePageRegionAndSmallOnesStayOnTheHeap)
{
    const bool kernelHasHugePages = QFile::exists(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    struct Case {
        std::size_t elements;
        std::size_t regionBytes; // 0: the heap keeps it
    };
    const std::size_t below = kHugeArrayBytes / sizeof(std::uint64_t) - 1;
    const std::size_t atLimit = kHugeArrayBytes / sizeof(std::uint64_t);
    for (const Case& c : { Case { 16, 0 }, Case { below, 0 }, Case { atLimit, kHugeArrayBytes },
             Case { atLimit + 1, kHugeArrayBytes + kHugePageBytes } }) {
        const std::size_t before = largeRegionBytesInUse();
        {
            std::vector<std::uint64_t, LargeArrayAllocator<std::uint64_t>> array(c.elements, 7);
            EXPECT_EQ(largeRegionBytesInUse() - before, c.regionBytes) << c.elements;
            EXPECT_EQ(array.back(), 7u);
            if (c.regionBytes) {
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(array.data()) % kHugePageBytes, 0u);
                EXPECT_EQ(vmFlagsOf(array.data()).split(' ').contains("hg"), kernelHasHugePages);
            }
            // Growing past the limit moves the elements into a region and keeps them.
            array.resize(c.elements * 2 + atLimit, 9);
            EXPECT_EQ(array[c.elements - 1], 7u);
            EXPECT_EQ(array.back(), 9u);
        }
        EXPECT_EQ(largeRegionBytesInUse(), before) << c.elements;
    }
}
