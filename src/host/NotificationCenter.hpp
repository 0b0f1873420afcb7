#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace zqb::host {

enum class AppNotification { didBecomeActive, willResignActive, didEnterBackground, willTerminate };

// Observers of the application's life-cycle notifications. `post` calls every observer of the notification
// synchronously on the posting thread, like the platform's default centre.
class NotificationCenter : public std::enable_shared_from_this<NotificationCenter> {
public:
    using Observer = std::function<void()>;

    // Removes the observer when destroyed. The centre must be owned by a shared_ptr.
    class Registration {
    public:
        Registration(std::weak_ptr<NotificationCenter> center, uint64_t id)
            : center_(std::move(center)), id_(id) {}
        ~Registration();
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

    private:
        std::weak_ptr<NotificationCenter> center_;
        uint64_t id_;
    };

    std::unique_ptr<Registration> addObserver(AppNotification name, Observer observer);
    // Once this returns, no post that is yet to call the observer will call it. A call already running on
    // another thread is not waited for: observers hold their owners weakly.
    void removeObserver(uint64_t id);
    void post(AppNotification name);

private:
    struct Entry {
        AppNotification name;
        Observer observer;
        std::atomic<bool> removed{false};
    };

    std::mutex mutex_;
    uint64_t nextId_ = 1;
    std::map<uint64_t, std::shared_ptr<Entry>> observers_;
};

enum class ApplicationState { active, inactive, background };

// The application's state. On Linux the host reports transitions (`ZQBHost`); the default state is active.
class ApplicationProtocol {
public:
    virtual ~ApplicationProtocol() = default;
    virtual ApplicationState applicationState() const = 0;
};

class Application final : public ApplicationProtocol {
public:
    explicit Application(ApplicationState initial = ApplicationState::active) : state_(initial) {}
    ApplicationState applicationState() const override;
    void setApplicationState(ApplicationState state);

private:
    mutable std::mutex mutex_;
    ApplicationState state_;
};

}  // namespace zqb::host
