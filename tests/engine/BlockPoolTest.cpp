// The block pool: blocks reused before slabs are added, empty slabs given back, freeing from any
// thread, freed blocks closed to the sanitizer, and pooled records and occurrences that behave
// as `std::make_shared` ones do.
#include "engine/detail/BlockPool.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "platform/Sanitizers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <thread>
#include <vector>


using crawlmere::engine::detail::BlockPool;

TEST(BlockPool, ReusesFreedBlocksAndGivesBackEmptySlabsButOne)
{
    struct Case {
        std::size_t asked, blockSize;
    };
    for (const Case& c : { Case { 1, 8 }, Case { 72, 72 }, Case { 70, 72 }, Case { 856, 856 }, Case { 100'000, 100'000 } }) {
        BlockPool pool(c.asked);
        EXPECT_EQ(pool.blockSize(), c.blockSize);
        const std::size_t perSlab = pool.blocksPerSlab();
        ASSERT_GT(perSlab, 0u);
        EXPECT_LE(perSlab * c.blockSize, BlockPool::kSlabBytes);

        // Three slabs' worth and one more: four slabs, distinct aligned blocks that can be written whole.
        std::vector<void*> blocks;
        std::set<std::uintptr_t> seen;
        for (std::size_t i = 0; i < perSlab * 3 + 1; ++i) {
            void* block = pool.allocate();
            ASSERT_NE(block, nullptr);
            std::memset(block, int(i), c.blockSize);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 8, 0u);
            seen.insert(reinterpret_cast<std::uintptr_t>(block));
            blocks.push_back(block);
        }
        EXPECT_EQ(seen.size(), blocks.size());
        EXPECT_EQ(pool.slabCount(), 4u);
        EXPECT_EQ(pool.blocksInUse(), blocks.size());

        // A freed block is the next one handed out, without a new slab.
        void* middle = blocks[perSlab + 1];
        pool.deallocate(middle);
        EXPECT_EQ(pool.allocate(), middle);
        EXPECT_EQ(pool.slabCount(), 4u);

        // Emptying the first slab gives it back; emptying all keeps one for the next block.
        for (std::size_t i = 0; i < perSlab; ++i)
            pool.deallocate(blocks[i]);
        EXPECT_EQ(pool.slabCount(), 3u);
        for (std::size_t i = perSlab; i < blocks.size(); ++i)
            pool.deallocate(blocks[i]);
        EXPECT_EQ(pool.slabCount(), 1u);
        EXPECT_EQ(pool.blocksInUse(), 0u);
        pool.deallocate(nullptr);
    }
}

TEST(BlockPool, BlocksMadeOnOneThreadAreFreedOnOthers)
{
    BlockPool pool(72);
    constexpr int kThreads = 4;
    constexpr int kBlocksEach = 20'000;
    std::vector<std::vector<void*>> made(kThreads);
    for (auto& list : made) {
        for (int i = 0; i < kBlocksEach; ++i)
            list.push_back(pool.allocate());
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&pool, &made, t] {
            // Each thread frees another's blocks while making and freeing some of its own.
            for (void* block : made[size_t((t + 1) % kThreads)]) {
                pool.deallocate(block);
                pool.deallocate(pool.allocate());
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(pool.blocksInUse(), 0u);
    EXPECT_EQ(pool.slabCount(), 1u);
}

#ifdef CRAWLMERE_ASAN
TEST(BlockPool, FreedAndUncarvedBlocksAreClosedToTheSanitizer)
{
    BlockPool pool(72);
    void* first = pool.allocate();
    void* second = pool.allocate();
    EXPECT_FALSE(__asan_region_is_poisoned(first, 72));
    // The block after the last one handed out was never carved.
    EXPECT_TRUE(__asan_address_is_poisoned(static_cast<char*>(second) + 72));
    pool.deallocate(first);
    EXPECT_TRUE(__asan_address_is_poisoned(first));
    EXPECT_TRUE(__asan_address_is_poisoned(static_cast<char*>(first) + 64));
    EXPECT_EQ(pool.allocate(), first);
    EXPECT_FALSE(__asan_region_is_poisoned(first, 72));
}
#endif

TEST(BlockPool, PooledRecordsAndOccurrencesKeepSharedAndWeakSemantics)
{
    auto page = CrwlUrl::make(nullptr, nullptr);
    auto target = CrwlUrl::make(nullptr, std::make_shared<CrawlSettings>());
    page->setLinkURL(QStringLiteral("http://127.0.0.1/"));
    target->setLinkURL(QStringLiteral("http://127.0.0.1/a"));
    EXPECT_EQ(page->shared_from_this(), page);

    auto link = CrwlLinkInstance::make();
    EXPECT_TRUE(link->getVisible());
    link->setParent(page);
    link->setTarget(target);
    link->setLinkText(QStringLiteral("a"));
    page->addOutboundInstance(link);
    target->addInboundInstance(link);
    EXPECT_EQ(link->getLinkUrl(), QStringLiteral("http://127.0.0.1/a"));

    // A weak reference outlives its record: the block stays until the last weak one goes.
    std::weak_ptr<CrwlUrl> weakTarget = target;
    std::weak_ptr<CrwlLinkInstance> weakLink = link;
    target.reset();
    EXPECT_TRUE(weakTarget.expired());
    EXPECT_EQ(link->target(), nullptr);
    EXPECT_EQ(link->getLinkUrl(), QString());
    link.reset();
    EXPECT_FALSE(weakLink.expired());
    page.reset();
    EXPECT_TRUE(weakLink.expired());
}
