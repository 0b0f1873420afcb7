#include "foundation/BorrowRegistry.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace zqb {
namespace {

struct Borrowed {
    std::atomic<int> value{42};
};

// The releaser must not return while another thread still announces the object, also when that thread
// holds it through nested guards, and must return once the last of them has ended.
TEST(BorrowRegistry, TheReleaserWaitsForEveryGuardOfTheObjectAndNoLonger) {
    Borrowed object;
    std::atomic<Borrowed*> published{&object};

    std::promise<void> borrowed;
    std::promise<void> innerEnds;
    std::promise<void> outerEnds;
    std::promise<void> innerEnded;
    std::thread borrower([&] {
        BorrowRegistry::Guard outer(published);
        {
            BorrowRegistry::Guard inner(published);
            EXPECT_EQ(inner.get<Borrowed>(), &object);
            borrowed.set_value();
            innerEnds.get_future().wait();
        }
        innerEnded.set_value();
        EXPECT_EQ(outer.get<Borrowed>()->value.load(), 42);
        outerEnds.get_future().wait();
    });
    borrowed.get_future().wait();

    published.store(nullptr);
    auto released = std::async(std::launch::async, [&] { BorrowRegistry::waitUntilUnused(&object); });
    EXPECT_EQ(released.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);

    innerEnds.set_value();
    innerEnded.get_future().wait();
    // The outer guard still announces the object after the inner one restored it.
    EXPECT_EQ(released.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);

    outerEnds.set_value();
    EXPECT_EQ(released.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    borrower.join();

    // Once unpublished, a new guard finds nothing to use.
    BorrowRegistry::Guard late(published);
    EXPECT_EQ(late.get<Borrowed>(), nullptr);
    // A releaser of something nobody uses, or of nothing, returns at once.
    BorrowRegistry::waitUntilUnused(&object);
    BorrowRegistry::waitUntilUnused(nullptr);
}

// Readers on several threads (short-lived ones among them, whose slots are handed on) keep borrowing while
// the published object is replaced and each replaced one is retired as soon as the releaser may: a reader
// that ever touched a retired object shows as a wrong value.
TEST(BorrowRegistry, AnObjectFreedAfterTheWaitIsNeverUsedByAReader) {
    std::atomic<Borrowed*> published{new Borrowed()};
    std::atomic<bool> stop{false};
    std::atomic<int> wrongValues{0};

    auto read = [&](int borrows) {
        for (int index = 0; index < borrows && !stop.load(std::memory_order_relaxed); ++index) {
            BorrowRegistry::Guard guard(published);
            auto* object = guard.get<Borrowed>();
            // A use that lasts a while, as a public call's does.
            for (int use = 0; object != nullptr && use < 64; ++use) {
                if (object->value.load() != 42) {
                    wrongValues.fetch_add(1);
                    break;
                }
            }
        }
    };
    std::vector<std::thread> readers;
    for (int reader = 0; reader < 4; ++reader) {
        readers.emplace_back([&] { read(1'000'000'000); });
    }
    std::thread shortLived([&] {
        for (int generation = 0; generation < 200 && !stop.load(); ++generation) {
            std::thread([&] { read(100); }).join();
        }
    });

    // Replaced objects are marked as freed and kept until the end, so that a reader still using one reads the
    // mark rather than whatever the allocator put there.
    std::vector<std::unique_ptr<Borrowed>> freed;
    for (int replacement = 0; replacement < 2'000; ++replacement) {
        Borrowed* old = published.exchange(new Borrowed());
        BorrowRegistry::waitUntilUnused(old);
        old->value.store(-1);
        freed.emplace_back(old);
    }
    stop.store(true);
    for (auto& reader : readers) {
        reader.join();
    }
    shortLived.join();
    delete published.exchange(nullptr);
    EXPECT_EQ(wrongValues.load(), 0);
}

}  // namespace
}  // namespace zqb
