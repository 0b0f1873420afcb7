#pragma once

#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "host/NotificationCenter.hpp"
#include "logic/LifeCycleProtocol.hpp"

#include <memory>
#include <mutex>
#include <vector>

namespace zqb {

// Turns the application's four life-cycle notifications into calls on a weakly held listener (the
// analytics logic), each made on the income queue.
//
// Becoming active only queues the call. The stopping notifications queue theirs and keep the notifying
// thread waiting until the income queue has run everything queued so far, the stop included, so that the
// end of the session is recorded before the application is suspended. Two cases do not wait: a notification
// posted from the income queue itself runs the stop there and then (waiting would never end), and a paused
// income queue (a start-up waiting for the application to become active) gets the stop queued without a wait,
// since it may stay paused for as long as the application stays in the background.
//
// Registered with the notification centre on creation; releasing the life cycle removes the registrations.
class ApplicationLifeCycle final : public std::enable_shared_from_this<ApplicationLifeCycle> {
public:
    // Registers with `center` and reads the state of `application` (the environment's when null); the
    // transitions go to the listener on `incomeQueue`.
    static std::shared_ptr<ApplicationLifeCycle> create(
        std::shared_ptr<host::NotificationCenter> center = nullptr,
        std::shared_ptr<host::ApplicationProtocol> application = nullptr,
        QueueManager& incomeQueue = QueueManager::incomeQueue(),
        host::Environment& environment = host::Environment::shared());

    ApplicationLifeCycle(const ApplicationLifeCycle&) = delete;
    ApplicationLifeCycle& operator=(const ApplicationLifeCycle&) = delete;

    // Sets or, with an empty pointer, clears the listener.
    void setLifeCycleListener(std::weak_ptr<LifeCycleProtocol> listener);
    std::shared_ptr<LifeCycleProtocol> listener() const;

    // True while the application is in the background (not merely inactive).
    bool isApplicationInBackground() const;
    // True while the application is active (neither inactive nor in the background).
    bool isApplicationActive() const;

    void goActive();
    void goInactive();
    void goBackground();
    void goTerminate();

private:
    explicit ApplicationLifeCycle(QueueManager& incomeQueue) : incomeQueue_(incomeQueue) {}

    using Transition = void (LifeCycleProtocol::*)();
    void stop(Transition transition);

    QueueManager& incomeQueue_;
    mutable std::mutex mutex_;
    std::shared_ptr<host::ApplicationProtocol> application_;
    std::weak_ptr<LifeCycleProtocol> listener_;
    std::vector<std::unique_ptr<host::NotificationCenter::Registration>> registrations_;
};

}  // namespace zqb
