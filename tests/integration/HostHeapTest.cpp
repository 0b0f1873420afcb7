// The library is a guest in the host's heap. The general allocator maps a block of 128 KiB or more on its
// own, and when such a block is freed it raises, for the whole process, the size from which it maps blocks
// and the free memory it keeps in its heaps instead of giving it back: a library that made and freed large
// buffers (the cache of every stored event, a write group's journal) left the host's heap keeping megabytes.
// What a burst takes must live in memory the library maps itself, and go back once the burst is over.
//
// Checked in a process of its own, whose allocator has seen nothing but the library: its thresholds are the
// allocator's first ones, and whether they moved shows in whether a block of `kProbeBytes` is still mapped
// on its own. Under the sanitizers the general allocator is theirs, and there is nothing to check.
#include "EndToEndFixture.hpp"

#include "foundation/AddressChecker.hpp"
#include "foundation/MappedBlocks.hpp"
#include "support/ChildProcess.hpp"

#include <malloc.h>

#include <cstdlib>

#if defined(__SANITIZE_THREAD__)
#define ZQB_HEAP_IS_THE_SANITIZERS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZQB_HEAP_IS_THE_SANITIZERS 1
#endif
#endif
#if defined(ZQB_ADDRESS_CHECKED)
#define ZQB_HEAP_IS_THE_SANITIZERS 1
#endif

namespace zqb::test {
namespace {

// Above the allocator's first mapping threshold, below what a burst of `kBurst` events made it before.
constexpr std::size_t kProbeBytes = 192 * 1024;
// Enough events for the cache's vector to pass 256 KiB and a group's journal to hold thousands of writes.
constexpr int kBurst = 30'000;

// A block of `kProbeBytes`, kept until the end: freed, it would raise the thresholds itself. Whether the
// allocator mapped it on its own.
bool probeIsMapped(std::vector<void*>& kept) {
    const std::size_t before = mallinfo2().hblkhd;
    void* probe = std::malloc(kProbeBytes);
    kept.push_back(probe);
    return mallinfo2().hblkhd >= before + kProbeBytes;
}

// The general heap's blocks in use, the mapped ones among them.
std::size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// What the heaps of every thread hold from the system, in use or free: free memory that the allocator could
// not give back (between blocks still in use) counts here.
std::size_t heapsHeld() {
    return mallinfo2().arena;
}

class HostHeap : public EndToEndTest {};

TEST_F(HostHeap, DISABLED_ABurstInAFreshProcess) {
    std::vector<void*> kept;
    if (!probeIsMapped(kept)) {
        GTEST_SKIP() << "the allocator's thresholds moved before the library ran";
    }
    // Nothing is sent while the burst is stored.
    replyWithConfiguration({{"countForRequest", 100'000'000}});
    start();
    const std::size_t mappedBefore = MappedBlocks::mappedBytes();
    const std::size_t heapBefore = heapInUse();
    const std::size_t heldBefore = heapsHeld();

    for (int index = 0; index < kBurst; ++index) {
        ZQBCustomEventParameters parameters;
        parameters.add("mode", "duel");
        parameters.add("score", static_cast<int64_t>(index));
        ZQBAnalytics::customEvent("match_finished", parameters);
    }
    settleAll();

    // Every event is cached, in memory of the library's own: the heap holds no vector of them.
    EXPECT_GT(MappedBlocks::mappedBytes(), mappedBefore + kBurst * sizeof(void*));
    EXPECT_LT(heapInUse(), heapBefore + 256 * 1024);
    // Nor what SQLite cached for the burst's writes, in the writing thread's heap, which stayed held there
    // once freed: a write group of a whole burst kept every page it dirtied until its commit.
    EXPECT_LT(heapsHeld(), heldBefore + 512 * 1024)
        << "the heaps hold " << (heapsHeld() - heldBefore) / 1024 << " KiB more";
    EXPECT_TRUE(probeIsMapped(kept)) << "the library raised the allocator's mapping threshold";

    // Tracking switched off drops every stored event: the memory their cache took goes back.
    ZQBAnalytics::setTrackingAvailability(false);
    settleAll();
    EXPECT_EQ(MappedBlocks::mappedBytes(), mappedBefore);
    EXPECT_TRUE(probeIsMapped(kept)) << "the library raised the allocator's mapping threshold";
    for (void* probe : kept) {
        std::free(probe);
    }
}

TEST(HostHeapBurst, LeavesTheHostsAllocatorThresholdsAsTheyWereAndGivesItsMemoryBack) {
#if defined(ZQB_HEAP_IS_THE_SANITIZERS)
    GTEST_SKIP() << "the general allocator is the sanitizer's";
#endif
    const pid_t child = spawnSelf({"zqb_integration", "--gtest_also_run_disabled_tests",
                                   "--gtest_filter=HostHeap.DISABLED_ABurstInAFreshProcess"});
    EXPECT_TRUE(waitForSuccess(child)) << "the child failed";
}

}  // namespace
}  // namespace zqb::test
