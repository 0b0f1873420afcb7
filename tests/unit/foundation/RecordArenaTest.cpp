#include "foundation/RecordArena.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <thread>
#include <vector>

namespace zqb {
namespace {

constexpr std::size_t kSlab = 64 * 1024;

struct Record {
    unsigned char* bytes;
    std::size_t size;
    unsigned char fill;
};

// Records of many sizes, some larger than a slab's quarter, made on several threads and released on another
// in an order of its own: none overlaps another while both are in use, each keeps what its owner wrote, and
// once all are released the slabs go back to the system but for the reserve.
TEST(RecordArena, RecordsOfEverySizeAreTheirOwnsAndTheirSlabsGoBackOnceReleased) {
    constexpr int kThreads = 4;
    constexpr int kRecords = 3'000;
    const std::size_t before = RecordArena::mappedBytes();
    std::vector<std::vector<Record>> made(kThreads);
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([&, thread] {
            for (int index = 0; index < kRecords; ++index) {
                // Mostly rows of an event's size; every hundredth one larger than a quarter of a slab, and
                // one larger than a slab.
                std::size_t size = 40 + static_cast<std::size_t>(index * 7 + thread) % 200;
                if (index % 100 == 99) {
                    size = kSlab / 4 + static_cast<std::size_t>(index);
                }
                if (index == kRecords / 2) {
                    size = 3 * kSlab / 2;
                }
                const auto fill = static_cast<unsigned char>(1 + (index + thread) % 250);
                auto* bytes = static_cast<unsigned char*>(RecordArena::allocate(size));
                std::memset(bytes, fill, size);
                made[thread].push_back({bytes, size, fill});
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::map<uintptr_t, const Record*> byAddress;
    std::size_t total = 0;
    for (const auto& records : made) {
        for (const auto& record : records) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(record.bytes) % RecordArena::alignment, 0u);
            EXPECT_TRUE(byAddress.emplace(reinterpret_cast<uintptr_t>(record.bytes), &record).second);
            total += record.size;
        }
    }
    EXPECT_GE(RecordArena::mappedBytes(), total);
    for (auto record = byAddress.begin(), next = std::next(record); next != byAddress.end();
         ++record, ++next) {
        EXPECT_LE(record->first + record->second->size, next->first);
    }
    for (const auto& [address, record] : byAddress) {
        EXPECT_EQ(record->bytes[0], record->fill);
        EXPECT_EQ(record->bytes[record->size - 1], record->fill);
    }

    // Released on one thread, the newest of each thread first: slabs empty out in no particular order.
    std::thread releaser([&] {
        for (auto& records : made) {
            for (auto record = records.rbegin(); record != records.rend(); ++record) {
                RecordArena::release(record->bytes);
            }
        }
    });
    releaser.join();
    // The slab the next record is cut from stays, as does one another test's rows may still hold.
    EXPECT_LE(RecordArena::mappedBytes(), before + RecordArena::reserveBytes + 2 * kSlab);
}

// A record in use keeps its slab, and only its slab: the others go back as their records are released,
// oldest first, as the stored events leave once sent.
TEST(RecordArena, ARecordInUseKeepsOnlyItsOwnSlab) {
    constexpr std::size_t kSize = 128;
    constexpr int kRecords = 20'000;
    const std::size_t before = RecordArena::mappedBytes();
    std::vector<void*> records;
    for (int index = 0; index < kRecords; ++index) {
        records.push_back(RecordArena::allocate(kSize));
        std::memset(records.back(), 0x5a, kSize);
    }
    EXPECT_GE(RecordArena::mappedBytes(), kRecords * kSize);

    void* kept = records[kRecords / 2];
    for (void* record : records) {
        if (record != kept) {
            RecordArena::release(record);
        }
    }
    EXPECT_LE(RecordArena::mappedBytes(), before + RecordArena::reserveBytes + 3 * kSlab);
    EXPECT_EQ(static_cast<unsigned char*>(kept)[kSize - 1], 0x5a);
    RecordArena::release(kept);

    // The reserve serves the next records without mapping more.
    const std::size_t settled = RecordArena::mappedBytes();
    std::vector<void*> next;
    for (std::size_t index = 0; index < RecordArena::reserveBytes / kSize / 2; ++index) {
        next.push_back(RecordArena::allocate(kSize));
    }
    EXPECT_LE(RecordArena::mappedBytes(), settled);
    for (void* record : next) {
        RecordArena::release(record);
    }
}

}  // namespace
}  // namespace zqb
