#include "core/ApplicationLifeCycle.hpp"

namespace zqb {

std::shared_ptr<ApplicationLifeCycle> ApplicationLifeCycle::create(QueueManager& incomeQueue,
                                                                   host::Environment& environment) {
    const auto center = environment.notificationCenter();
    const auto application = environment.application();
    std::shared_ptr<ApplicationLifeCycle> lifeCycle(new ApplicationLifeCycle(incomeQueue));
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
    // Read after registering: a transition reported meanwhile is then either in the state read or queued
    // behind it, never lost.
    lifeCycle->state_.store(application->applicationState());
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

void ApplicationLifeCycle::setAfterStop(std::function<void()> afterStop) {
    std::lock_guard lock(mutex_);
    afterStop_ = std::move(afterStop);
}

bool ApplicationLifeCycle::isApplicationInBackground() const {
    return state_.load() == host::ApplicationState::background;
}

void ApplicationLifeCycle::resumeActive() {
    droppedUpTo_.store(reported_.load());
    state_.store(host::ApplicationState::active);
}

bool ApplicationLifeCycle::isApplicationActive() const {
    return state_.load() == host::ApplicationState::active;
}

void ApplicationLifeCycle::goActive() {
    incomeQueue_.addOperation(reached(host::ApplicationState::active, &LifeCycleProtocol::goActive, false));
}

void ApplicationLifeCycle::goInactive() {
    stop(host::ApplicationState::inactive, &LifeCycleProtocol::goInactive);
}

void ApplicationLifeCycle::goBackground() {
    stop(host::ApplicationState::background, &LifeCycleProtocol::goBackground);
}

void ApplicationLifeCycle::goTerminate() {
    stop(host::ApplicationState::background, &LifeCycleProtocol::goTerminate);
}

void ApplicationLifeCycle::stop(host::ApplicationState state, Transition transition) {
    auto& queue = incomeQueue_;
    const auto operation = reached(state, transition, true);
    if (queue.isCurrent()) {
        operation();
        return;
    }
    // The operation holds the life cycle weakly: a destroy queued meanwhile releases it, and the logic, on
    // the income queue, not here. The wait ends once it has run, and with it what was queued before it:
    // work that other threads keep adding meanwhile, or that the stop itself queues, would otherwise hold
    // the host's thread for as long as it goes on.
    queue.addOperationAndWaitOrSuspended(operation);
}

std::function<void()> ApplicationLifeCycle::reached(host::ApplicationState state, Transition transition,
                                                    bool stopping) {
    const uint64_t number = reported_.fetch_add(1) + 1;
    return [weak = weak_from_this(), number, state, transition, stopping] {
        if (const auto self = weak.lock()) {
            self->reach(number, state, transition, stopping);
        }
    };
}

void ApplicationLifeCycle::reach(uint64_t number, host::ApplicationState state, Transition transition,
                                 bool stopping) {
    if (number <= droppedUpTo_.load()) {
        return;
    }
    state_.store(state);
    std::shared_ptr<LifeCycleProtocol> listener;
    std::function<void()> afterStop;
    {
        std::lock_guard lock(mutex_);
        listener = listener_.lock();
        afterStop = afterStop_;
    }
    if (listener) {
        ((*listener).*transition)();
    }
    if (stopping && afterStop) {
        afterStop();
    }
}

}  // namespace zqb
