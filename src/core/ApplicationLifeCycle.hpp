#pragma once

#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "host/NotificationCenter.hpp"
#include "logic/LifeCycleProtocol.hpp"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zqb {

// Turns the application's four life-cycle notifications into calls on a weakly held listener (the
// analytics logic), each made on the income queue.
//
// The transitions a host reports are facts in order with its calls: each is queued like a call, and the
// application's state as the income queue sees it (`isApplicationInBackground`) changes when the queued
// transition runs, not when the host reported it. Work queued before a transition still finds the state the
// application had then; a transition queued before the listener was set reaches the listener set ahead of
// it in the queue.
//
// Becoming active only queues the call. The stopping notifications queue theirs, followed in the same
// operation by the step set with `setAfterStop`, and keep the notifying thread waiting until the income
// queue has run everything queued so far, the stop included, so that the end of the session is recorded
// before the application is suspended. Two cases do not wait: a notification posted from the income queue
// itself runs the stop there and then (waiting would never end), and a paused income queue (a start-up
// waiting for the application to become active) gets the stop queued without a wait, since it may stay
// paused for as long as the application stays in the background.
//
// Registered with the notification centre on creation; releasing the life cycle removes the registrations.
class ApplicationLifeCycle final : public std::enable_shared_from_this<ApplicationLifeCycle> {
public:
    // Registers with the notification centre of `environment` and then reads the state of its application;
    // the transitions go to the listener on `incomeQueue`.
    static std::shared_ptr<ApplicationLifeCycle> create(QueueManager& incomeQueue,
                                                        host::Environment& environment);

    ApplicationLifeCycle(const ApplicationLifeCycle&) = delete;
    ApplicationLifeCycle& operator=(const ApplicationLifeCycle&) = delete;

    // Sets or, with an empty pointer, clears the listener.
    void setLifeCycleListener(std::weak_ptr<LifeCycleProtocol> listener);
    std::shared_ptr<LifeCycleProtocol> listener() const;

    // Run on the income queue after every stop, within the stop's operation, so that the notifying thread
    // waits for it too; the core commits the database's open writes there.
    void setAfterStop(std::function<void()> afterStop);

    // True while the application is in the background (not merely inactive), as of the transitions the
    // income queue has reached.
    bool isApplicationInBackground() const;
    // True while the application is active (neither inactive nor in the background), as the income queue
    // sees it.
    bool isApplicationActive() const;

    // For a start-up that waited, on a paused income queue, for the application to become active: the queue
    // sees it active from its next operation on, and the transitions queued while it waited, which are older
    // than that, are dropped.
    void resumeActive();

    void goActive();
    void goInactive();
    void goBackground();
    void goTerminate();

private:
    explicit ApplicationLifeCycle(QueueManager& incomeQueue) : incomeQueue_(incomeQueue) {}

    using Transition = void (LifeCycleProtocol::*)();
    void stop(host::ApplicationState state, Transition transition);
    // The operation that a transition queues: numbered when reported, so that `resumeActive` can drop it.
    std::function<void()> reached(host::ApplicationState state, Transition transition, bool stopping);
    void reach(uint64_t number, host::ApplicationState state, Transition transition, bool stopping);

    QueueManager& incomeQueue_;
    mutable std::mutex mutex_;
    std::weak_ptr<LifeCycleProtocol> listener_;
    std::function<void()> afterStop_;
    std::vector<std::unique_ptr<host::NotificationCenter::Registration>> registrations_;
    std::atomic<host::ApplicationState> state_{host::ApplicationState::active};
    std::atomic<uint64_t> reported_{0};
    std::atomic<uint64_t> droppedUpTo_{0};
};

}  // namespace zqb
