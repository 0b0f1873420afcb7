#include "foundation/ProcessExit.hpp"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace zqb {
namespace {

// Plain atomics with constant initialisation: nothing here is ever destroyed.
std::atomic<bool> begun{false};
std::atomic<int> held{0};
std::atomic<int> registrations{0};
// Raised by the first exit handler that runs.
std::atomic<bool> waited{false};
// The activities the calling thread holds: an `exit()` called from inside one (the host's code on a
// library thread, say) must not wait for itself.
thread_local int heldHere = 0;

// A host that keeps installing closures must not grow the exit handlers without end.
constexpr int kMaximumRegistrations = 64;
// An activity that has not ended by then (host code that blocks, a wait on the disk or on the platform) is
// not waited for any longer: the exit must end.
constexpr auto kLongestWait = std::chrono::seconds(5);

void onExit() {
    begun.store(true);
    // The handler is registered several times, but the exit waits once: after the first wait every activity
    // has ended or is no longer waited for, and none starts any more.
    if (waited.exchange(true)) {
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + kLongestWait;
    while (held.load() > heldHere && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

void ProcessExit::watch() {
    if (begun.load(std::memory_order_relaxed) || registrations.fetch_add(1) >= kMaximumRegistrations) {
        return;
    }
    std::atexit(onExit);
}

bool ProcessExit::hasBegun() {
    return begun.load();
}

bool ProcessExit::Activity::hold() {
    if (held_) {
        if (!begun.load()) {
            return true;
        }
        release();
        return false;
    }
    // Counted before the flag is read: the exit handler, which raises the flag before it reads the count,
    // either sees this activity or this thread sees the flag.
    held.fetch_add(1);
    if (begun.load()) {
        held.fetch_sub(1);
        return false;
    }
    ++heldHere;
    held_ = true;
    return true;
}

void ProcessExit::Activity::release() {
    if (!held_) {
        return;
    }
    held_ = false;
    --heldHere;
    held.fetch_sub(1);
}

}  // namespace zqb
