#include "foundation/BlockPool.hpp"
#include "foundation/QueueManager.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZQB_TEST_ADDRESS_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZQB_TEST_ADDRESS_CHECKED 1
#endif

namespace zqb {
namespace {

// Blocks allocated on several threads and given back on another are reused across threads: a block must
// never be handed out twice while in use, and what an owner writes into it must stay its own.
TEST(BlockPool, BlocksReleasedOnAnotherThreadAreReusedWithoutEverBeingSharedByTwoOwners) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 20;
    constexpr int kBlocks = 500;
    // A class whose blocks are not a power of two in size, and one whose blocks are.
    for (const std::size_t size : {std::size_t{180}, std::size_t{200}}) {
        SCOPED_TRACE(size);
        const uint8_t sizeClass = BlockPool::sizeClass(size);
        ASSERT_NE(sizeClass, BlockPool::unpooled);

        for (int round = 0; round < kRounds; ++round) {
            std::vector<std::vector<void*>> taken(kThreads);
            std::vector<std::thread> threads;
            for (int thread = 0; thread < kThreads; ++thread) {
                threads.emplace_back([&, thread] {
                    for (int index = 0; index < kBlocks; ++index) {
                        void* block = BlockPool::allocate(sizeClass, size);
                        std::memset(block, thread + 1, size);
                        taken[thread].push_back(block);
                    }
                });
            }
            for (auto& thread : threads) {
                thread.join();
            }
            std::set<void*> distinct;
            for (int thread = 0; thread < kThreads; ++thread) {
                for (void* block : taken[thread]) {
                    EXPECT_TRUE(distinct.insert(block).second);
                    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % BlockPool::alignment, 0u);
                    const auto* bytes = static_cast<const unsigned char*>(block);
                    EXPECT_EQ(bytes[0], thread + 1);
                    EXPECT_EQ(bytes[size - 1], thread + 1);
                }
            }
            // Blocks carved from one slab must not overlap: each starts at least a whole block after the
            // last.
            for (auto block = distinct.begin(), next = std::next(block); next != distinct.end();
                 ++block, ++next) {
                EXPECT_GE(static_cast<const char*>(*next) - static_cast<const char*>(*block),
                          static_cast<std::ptrdiff_t>(size));
            }
            std::thread releaser([&] {
                for (auto& blocks : taken) {
                    for (void* block : blocks) {
                        BlockPool::release(block, sizeClass);
                    }
                }
            });
            releaser.join();
        }
    }
    // Sizes beyond every class come from the general allocator.
    EXPECT_EQ(BlockPool::sizeClass(100'000), BlockPool::unpooled);
    void* large = BlockPool::allocate(BlockPool::unpooled, 100'000);
    BlockPool::release(large, BlockPool::unpooled);
}

// A backlog's blocks, all given back on another thread that then runs out of work: every slab with no block
// in use goes back to the system but for the class's reserve, and the blocks can be had again afterwards.
TEST(BlockPool, ADrainedBacklogIsReturnedToTheSystemButForTheReserve) {
    constexpr std::size_t kSize = 500;
    constexpr int kBlocks = 20'000;
    const uint8_t sizeClass = BlockPool::sizeClass(kSize);
    ASSERT_NE(sizeClass, BlockPool::unpooled);
    // At most the slab this thread is carving, and one more that another thread of the process may be
    // carving or holding blocks of.
    constexpr std::size_t kHeldElsewhere = 2 * 64 * 1024;

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const std::size_t before = BlockPool::mappedBytes();
        std::vector<void*> backlog;
        for (int index = 0; index < kBlocks; ++index) {
            backlog.push_back(BlockPool::allocate(sizeClass, kSize));
            std::memset(backlog.back(), 0x5a, kSize);
        }
        EXPECT_GE(BlockPool::mappedBytes(), kBlocks * kSize);

        std::thread worker([&] {
            for (void* block : backlog) {
                BlockPool::release(block, sizeClass);
            }
            BlockPool::settle();
        });
        worker.join();
        EXPECT_LE(BlockPool::mappedBytes(), before + BlockPool::reserveBytes + kHeldElsewhere);
        EXPECT_LT(BlockPool::mappedBytes(), kBlocks * kSize / 4);
    }
}

// A trim that could not shrink the shelf (every slab partly in use) leaves many blocks on it; once those are
// taken up by the next burst and everything comes back, the slabs go back to the system all the same.
TEST(BlockPool, SlabsOfABacklogAreReturnedAfterATrimThatCouldNotShrinkTheShelf) {
    constexpr std::size_t kSize = 200;
    constexpr int kBlocks = 4'000;
    constexpr std::size_t kHeldElsewhere = 2 * 64 * 1024;
    const uint8_t sizeClass = BlockPool::sizeClass(kSize);
    const std::size_t before = BlockPool::mappedBytes();
    std::vector<void*> held;
    std::vector<void*> loose;
    for (int index = 0; index < kBlocks; ++index) {
        (index % 4 == 0 ? held : loose).push_back(BlockPool::allocate(sizeClass, kSize));
    }
    const auto giveBack = [&](std::vector<void*>& blocks) {
        std::thread([&] {
            for (void* block : blocks) {
                BlockPool::release(block, sizeClass);
            }
            BlockPool::settle();
        }).join();
        blocks.clear();
    };
    giveBack(loose);
    for (int index = 0; index < kBlocks * 3 / 4; ++index) {
        loose.push_back(BlockPool::allocate(sizeClass, kSize));
    }
    giveBack(held);
    giveBack(loose);
    EXPECT_LE(BlockPool::mappedBytes(), before + BlockPool::reserveBytes + kHeldElsewhere);
}

// A thread that settles with nothing new on the shelves returns nothing: blocks in use stay where they are.
TEST(BlockPool, SettlingKeepsEveryBlockInUse) {
    constexpr std::size_t kSize = 200;
    constexpr int kBlocks = 5'000;
    const uint8_t sizeClass = BlockPool::sizeClass(kSize);
    std::vector<unsigned char*> held;
    for (int index = 0; index < kBlocks; ++index) {
        held.push_back(static_cast<unsigned char*>(BlockPool::allocate(sizeClass, kSize)));
        std::memset(held.back(), index % 251, kSize);
    }
    // Half of them given back and settled: the other half shares slabs with them and must stay mapped.
    std::thread worker([&] {
        for (std::size_t index = 0; index < held.size(); index += 2) {
            BlockPool::release(held[index], sizeClass);
        }
        BlockPool::settle();
    });
    worker.join();
    for (std::size_t index = 1; index < held.size(); index += 2) {
        EXPECT_EQ(held[index][0], index % 251);
        EXPECT_EQ(held[index][kSize - 1], index % 251);
        BlockPool::release(held[index], sizeClass);
    }
    BlockPool::settle();
}

#if defined(ZQB_TEST_ADDRESS_CHECKED)
// Under the address checker a released block is poisoned until it is handed out again: a write into it, a
// second release, or a write past the bytes asked for is reported where it happens, instead of corrupting
// the operation the block carries next.
TEST(BlockPoolDeathTest, AReleasedBlockIsReportedWhenWrittenOrReleasedAgain) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    constexpr std::size_t kSize = 176;
    const uint8_t sizeClass = BlockPool::sizeClass(kSize);
    auto* block = static_cast<volatile char*>(BlockPool::allocate(sizeClass, kSize));
    block[0] = 1;
    block[kSize - 1] = 1;
    EXPECT_DEATH(block[kSize] = 1, "use-after-poison");
    BlockPool::release(const_cast<char*>(block), sizeClass);
    EXPECT_DEATH(block[kSize / 2] = 1, "use-after-poison");
    EXPECT_DEATH(BlockPool::release(const_cast<char*>(block), sizeClass), "use-after-poison");
}

// The blocks that carry queued operations: once an operation has run and been released, a write through an
// address it handed out (a call that holds what it captured by address) is reported.
TEST(BlockPoolDeathTest, AQueuedOperationWrittenAfterItsReleaseIsReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Handing {
        volatile char** where;
        char payload[64];
        void operator()() { *where = payload; }
    };
    volatile char* handed = nullptr;
    QueueManager queue("test.poisoned");
    queue.addOperation(Handing{&handed, {}});
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
    ASSERT_NE(handed, nullptr);
    EXPECT_DEATH(handed[0] = 1, "use-after-poison");
}
#endif

}  // namespace
}  // namespace zqb
