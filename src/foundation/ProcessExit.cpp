#include "foundation/ProcessExit.hpp"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZQB_INSTRUMENTED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZQB_INSTRUMENTED 1
#endif
#endif

namespace zqb {
namespace {

// Plain atomics with constant initialisation: nothing here is ever destroyed.
std::atomic<bool> begun{false};
std::atomic<int> held{0};
std::atomic<int> registrations{0};
// Raised by the first exit handler that runs.
std::atomic<bool> waited{false};
// Raised in a child that `fork()` made: the library's threads stayed in the parent.
std::atomic<bool> forked{false};
std::atomic<bool> forkHandled{false};
std::atomic<ProcessExit::Finish> finishing{nullptr};
// The activities the calling thread holds: an `exit()` called from inside one (the host's code on a
// library thread, say) must not wait for itself.
thread_local int heldHere = 0;

// A host that keeps installing closures must not grow the exit handlers without end.
constexpr int kMaximumRegistrations = 64;
#if defined(ZQB_INSTRUMENTED)
constexpr auto kFinishStartsWithin = 4 * ProcessExit::finishStartsWithin;
#else
constexpr auto kFinishStartsWithin = ProcessExit::finishStartsWithin;
#endif

// The exit takes no lock that it could wait on: only atomics, sleeps and the finish (which takes none
// either). It may come from a signal handler that called `exit()` while the thread it interrupted was inside
// the library, holding one of its locks, which that thread can never let go; or from a child that `fork()`
// made while another thread of the parent held one, which stays held in the child for good.
void onExit() {
    begun.store(true);
    // Noticed several times (each registration, the main thread's notice), but the exit waits once: after
    // the first wait every activity has ended or is no longer waited for, and none starts any more.
    if (waited.exchange(true)) {
        return;
    }
    // An activity that has not ended by then (host code that blocks, a wait on the disk or on the platform)
    // is not waited for any longer, nor the work let finish: the exit must end.
    const auto begunAt = std::chrono::steady_clock::now();
    const auto deadline = begunAt + ProcessExit::longestWait;
    // A forked child has no worker to finish with: the queues' threads stayed in the parent, which finishes
    // that work itself.
    if (const ProcessExit::Finish finish = finishing.load(); finish != nullptr && !forked.load()) {
        finish(begunAt + kFinishStartsWithin, deadline);
    }
    while (held.load() > heldHere && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// In the child, on the only thread it has: the activities the parent's other threads held are not the
// child's, and no thread of the child will ever end them.
void afterForkInChild() {
    held.store(heldHere);
    forked.store(true);
}

// Destroyed when the main thread calls `exit()` (returning from `main` does): the calling thread's
// thread-local objects are destroyed before any object with static storage duration and before any exit
// handler, whenever those were registered. An object the host builds after the library's last registration
// (inside its log closure, on a library thread, even while the exit begins) is then destroyed only once no
// host code runs on the library's threads any more. The main thread's thread-local objects are not
// destroyed otherwise: a `pthread_exit()` from `main` leaves them.
struct MainThreadNotice {
    MainThreadNotice() = default;
    MainThreadNotice(const MainThreadNotice&) = delete;
    MainThreadNotice& operator=(const MainThreadNotice&) = delete;
    ~MainThreadNotice() { onExit(); }
};

void noticeExitOfMainThread() {
    if (::gettid() == ::getpid()) {
        [[maybe_unused]] thread_local MainThreadNotice notice;
    }
}

// As the library is loaded, which a host linked with it does on its main thread before `main`: the notice
// then holds even for a host that makes all its calls from other threads.
[[maybe_unused]] const bool noticedAtLoad = (noticeExitOfMainThread(), true);

}  // namespace

void ProcessExit::watch() {
    if (begun.load(std::memory_order_relaxed)) {
        return;
    }
    // Again at each call, for a library loaded later, on another thread.
    noticeExitOfMainThread();
    if (!forkHandled.exchange(true)) {
        ::pthread_atfork(nullptr, nullptr, afterForkInChild);
    }
    if (registrations.fetch_add(1) >= kMaximumRegistrations) {
        return;
    }
    std::atexit(onExit);
}

bool ProcessExit::hasBegun() {
    return begun.load();
}

void ProcessExit::letFinish(Finish finish) {
    finishing.store(finish);
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
