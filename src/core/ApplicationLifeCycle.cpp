#include "core/ApplicationLifeCycle.hpp"

namespace zqb {

std::shared_ptr<ApplicationLifeCycle> ApplicationLifeCycle::create(
    std::shared_ptr<host::NotificationCenter> center, std::shared_ptr<host::ApplicationProtocol> application,
    QueueManager& incomeQueue, host::Environment& environment) {
    if (!center) {
        center = environment.notificationCenter();
    }
    if (!application) {
        application = environment.application();
    }
    std::shared_ptr<ApplicationLifeCycle> lifeCycle(new ApplicationLifeCycle(incomeQueue));
    lifeCycle->application_ = std::move(application);
    const std::weak_ptr<ApplicationLifeCycle> weak = lifeCycle;
    const auto observe = [&](host::AppNotification name, void (ApplicationLifeCycle::*handler)()) {
        lifeCycle->registrations_.push_back(center->addObserver(name, [weak, handler] {
            if (auto self = weak.lock()) {
                ((*self).*handler)();
            }
        }));
    };
    observe(host::AppNotification::didBecomeActive, &ApplicationLifeCycle::goActive);
    observe(host::AppNotification::willResignActive, &ApplicationLifeCycle::goInactive);
    observe(host::AppNotification::didEnterBackground, &ApplicationLifeCycle::goBackground);
    observe(host::AppNotification::willTerminate, &ApplicationLifeCycle::goTerminate);
    return lifeCycle;
}

void ApplicationLifeCycle::setLifeCycleListener(std::weak_ptr<LifeCycleProtocol> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

std::shared_ptr<LifeCycleProtocol> ApplicationLifeCycle::listener() const {
    std::lock_guard lock(mutex_);
    return listener_.lock();
}

bool ApplicationLifeCycle::isApplicationInBackground() const {
    return application_->applicationState() == host::ApplicationState::background;
}

bool ApplicationLifeCycle::isApplicationActive() const {
    return application_->applicationState() == host::ApplicationState::active;
}

void ApplicationLifeCycle::goActive() {
    std::weak_ptr<LifeCycleProtocol> weak;
    {
        std::lock_guard lock(mutex_);
        weak = listener_;
    }
    if (weak.expired()) {
        return;
    }
    postWeakly(incomeQueue_, weak, &LifeCycleProtocol::goActive);
}

void ApplicationLifeCycle::goInactive() {
    stop(&LifeCycleProtocol::goInactive);
}

void ApplicationLifeCycle::goBackground() {
    stop(&LifeCycleProtocol::goBackground);
}

void ApplicationLifeCycle::goTerminate() {
    stop(&LifeCycleProtocol::goTerminate);
}

void ApplicationLifeCycle::stop(Transition transition) {
    std::weak_ptr<LifeCycleProtocol> weak;
    {
        std::lock_guard lock(mutex_);
        weak = listener_;
    }
    auto& queue = incomeQueue_;
    if (queue.isCurrent()) {
        if (auto listener = weak.lock()) {
            ((*listener).*transition)();
        }
        return;
    }
    if (weak.expired()) {
        return;
    }
    queue.addOperation([weak, transition] {
        if (auto listener = weak.lock()) {
            ((*listener).*transition)();
        }
    });
    // No strong reference is held while waiting: a destroy queued meanwhile releases the logic on the
    // income queue, not here. The wait ends once what was queued before it has run: work that other threads
    // keep adding meanwhile would otherwise hold the host's thread for as long as they go on.
    queue.waitUntilQueuedOperationsAreFinishedOrSuspended();
}

}  // namespace zqb
