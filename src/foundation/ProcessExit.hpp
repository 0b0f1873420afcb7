#pragma once

#include <chrono>

namespace zqb {

// Notices that the process has begun to exit (the host returned from `main` or called `exit()`, usually
// without destroying the library) and from then on keeps the library's threads out of the host's code and
// away from the objects that the exit destroys.
//
// The exit is noticed first by a thread-local object of the main thread (made as the library is loaded, and
// at the calls below when they come from the main thread): when the main thread calls `exit()` (returning
// from `main` does), its thread-local objects are destroyed before any static object and before any exit
// handler, whichever was registered last. A static that the host builds at any time, even inside its log
// closure on a library thread as the exit begins, is therefore destroyed only after the notice.
//
// For an `exit()` called on another thread the notice is an exit handler. Exit handlers and the destructors
// of static objects run in the reverse order of their registration, so the handler must be registered after
// the statics it is to run before: `watch()` registers it again at the host's calls that usually come after
// the host has built what its code uses (installing the log closure, initialising), when a process-wide queue
// is made, after the HTTP client's global set-up (which registers clean-up of its own), and after a log
// closure's first call (which may build statics of the host's).
//
// Every run of the library's own work on its threads (queued operations, a timer block) and every call of
// the host's code is an `Activity`. Once the exit has begun no activity starts, and the handler returns
// only when every activity under way on other threads has ended (or after a few seconds in all, however
// often the exit is noticed, so that host code that blocks cannot hold up the exit for good): what the exit
// then destroys, nothing of the library uses any more.
//
// A child that `fork()` made has none of the parent's threads: its exit waits only for the activities of its
// own threads and lets no work finish (the parent does that for its own).
//
// One piece of work may still be let finish: what the host reported just before it left (the income queue's
// operations), which is lost unless it runs. The first notice hands it a time by which it is to start nothing
// more, `finishStartsWithin` after the exit began (four times as long in a sanitizer's build, which runs the
// same work several times slower), and the time by which it must have returned, when the exit goes on
// whatever the work does. It runs none of the host's code: no activity starts.
class ProcessExit {
public:
    ProcessExit() = delete;

    using TimePoint = std::chrono::steady_clock::time_point;
    using Finish = void (*)(TimePoint startBy, TimePoint returnBy);
    static constexpr auto finishStartsWithin = std::chrono::seconds(1);
    // However long the activities under way and the finish take, the exit goes on after this.
    static constexpr auto longestWait = std::chrono::seconds(5);

    // Registers the exit handler once more (a bounded number of times in all), and makes the main thread's
    // notice when called on it.
    static void watch();
    static bool hasBegun();
    // The work to let finish; the last one set is the one run.
    static void letFinish(Finish finish);

    // Held from a successful `hold()` until `release()` or destruction; the exit handler waits for it.
    class Activity {
    public:
        Activity() = default;
        ~Activity() { release(); }
        Activity(const Activity&) = delete;
        Activity& operator=(const Activity&) = delete;

        // True when the activity is held now: taken when it was not, kept when it was. False once the exit
        // has begun, and then it is let go.
        bool hold();
        void release();

    private:
        bool held_ = false;
    };
};

}  // namespace zqb
