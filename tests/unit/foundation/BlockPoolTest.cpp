#include "foundation/BlockPool.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace zqb {
namespace {

// Blocks allocated on several threads and given back on another are reused across threads: a block must
// never be handed out twice while in use, and what an owner writes into it must stay its own.
TEST(BlockPool, BlocksReleasedOnAnotherThreadAreReusedWithoutEverBeingSharedByTwoOwners) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 20;
    constexpr int kBlocks = 500;
    const uint8_t sizeClass = BlockPool::sizeClass(200);
    ASSERT_NE(sizeClass, BlockPool::unpooled);

    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::vector<void*>> taken(kThreads);
        std::vector<std::thread> threads;
        for (int thread = 0; thread < kThreads; ++thread) {
            threads.emplace_back([&, thread] {
                for (int index = 0; index < kBlocks; ++index) {
                    void* block = BlockPool::allocate(sizeClass, 200);
                    std::memset(block, thread + 1, 200);
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
                const auto* bytes = static_cast<const unsigned char*>(block);
                EXPECT_EQ(bytes[0], thread + 1);
                EXPECT_EQ(bytes[199], thread + 1);
            }
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
    // Sizes beyond every class come from the general allocator.
    EXPECT_EQ(BlockPool::sizeClass(100'000), BlockPool::unpooled);
    void* large = BlockPool::allocate(BlockPool::unpooled, 100'000);
    BlockPool::release(large, BlockPool::unpooled);
}

}  // namespace
}  // namespace zqb
