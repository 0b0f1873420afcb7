#include "support/RecordingServices.hpp"

#include <utility>

namespace zqb::test {
namespace {

RecordedEvent entryOf(const Storable& event) {
    RecordedEvent entry;
    entry.code = event.eventCode();
    entry.json = nlohmann::ordered_json::parse(event.getJson(), nullptr, false);
    return entry;
}

std::vector<RecordedEvent> withCode(std::vector<RecordedEvent> events, const std::string& code) {
    std::erase_if(events, [&](const RecordedEvent& event) { return event.code != code; });
    return events;
}

}  // namespace

std::vector<RecordedEvent> RecordingEventsService::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<RecordedEvent> RecordingEventsService::events(const std::string& code) const {
    return withCode(events(), code);
}

std::vector<RecordedEvent> RecordingEventsService::flushed(const std::string& code) const {
    auto events = this->events(code);
    std::erase_if(events, [](const RecordedEvent& event) { return !event.flushed; });
    return events;
}

std::vector<RecordedEvent> RecordingEventsService::unflushed() const {
    auto events = this->events();
    std::erase_if(events, [](const RecordedEvent& event) { return event.flushed; });
    return events;
}

std::vector<RecordedEvent> RecordingEventsService::unflushed(const std::string& code) const {
    return withCode(unflushed(), code);
}

int RecordingEventsService::removeAllCalls() const {
    std::lock_guard lock(mutex_);
    return removeAllCalls_;
}

void RecordingEventsService::fullStack() {
    FullStackAction action;
    {
        std::lock_guard lock(mutex_);
        action = fullStack_;
    }
    if (action) {
        action();
    }
}

void RecordingEventsService::markFlushed() {
    std::lock_guard lock(mutex_);
    for (auto& event : events_) {
        event.flushed = true;
    }
}

void RecordingEventsService::setOnFullStackAction(FullStackAction action) {
    std::lock_guard lock(mutex_);
    fullStack_ = std::move(action);
}

RecordedEvent RecordingEventsService::entryFor(const Storable& event, const User& user) const {
    auto entry = entryOf(event);
    entry.userKey = user.idKey;
    // The rules the events service stores by are always the active project's.
    entry.trackingAvailable = !state_ || state_->getActiveProject()->trackingAvailable;
    return entry;
}

void RecordingEventsService::addEvent(const Storable& event) {
    auto entry = state_ ? entryFor(event, *state_->getActiveUser()) : entryOf(event);
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(entry));
}

void RecordingEventsService::addEvent(const Storable& event, const User& user) {
    auto entry = entryFor(event, user);
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(entry));
}

void RecordingEventsService::removeAllEvents() {
    std::lock_guard lock(mutex_);
    std::erase_if(events_, [](const RecordedEvent& event) { return !event.flushed; });
    ++removeAllCalls_;
}

void RecordingEventsService::removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) {
    std::lock_guard lock(mutex_);
    std::erase_if(events_, [&](const RecordedEvent& event) {
        if (event.flushed) {
            return false;
        }
        for (const auto& user : users) {
            if (user && event.userKey == user->idKey) {
                return true;
            }
        }
        return false;
    });
}

int RecordingReportService::sendBufferedCalls() const {
    std::lock_guard lock(mutex_);
    return sendBufferedCalls_;
}

std::vector<RecordedEvent> RecordingReportService::flashEvents() const {
    std::lock_guard lock(mutex_);
    return flashEvents_;
}

std::vector<RecordedEvent> RecordingReportService::flashEvents(const std::string& code) const {
    return withCode(flashEvents(), code);
}

void RecordingReportService::setOnReportSendAction(std::function<void()> action) {
    onReportSendAction_ = std::move(action);
}

void RecordingReportService::sendFlashEvent(const Storable& event) {
    auto entry = entryOf(event);
    std::lock_guard lock(mutex_);
    flashEvents_.push_back(std::move(entry));
}

void RecordingReportService::sendBufferedEvents() {
    if (events_) {
        events_->markFlushed();
    }
    std::lock_guard lock(mutex_);
    ++sendBufferedCalls_;
}

bool RecordingTimerService::running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

int RecordingTimerService::requestTimerResets() const {
    std::lock_guard lock(mutex_);
    return requestTimerResets_;
}

void RecordingTimerService::tick(Timer timer) {
    Tick tick;
    {
        std::lock_guard lock(mutex_);
        tick = ticks_[static_cast<int>(timer)];
    }
    if (tick) {
        tick();
    }
}

void RecordingTimerService::tickIfRunning() {
    if (!running()) {
        return;
    }
    for (const auto timer : {Timer::alive, Timer::currencyAccrual, Timer::request, Timer::activity}) {
        tick(timer);
    }
}

void RecordingTimerService::install(Timer timer, Tick tick) {
    std::lock_guard lock(mutex_);
    ticks_[static_cast<int>(timer)] = std::move(tick);
}

void RecordingTimerService::setOnAliveTimerTick(Tick tick) {
    install(Timer::alive, std::move(tick));
}

void RecordingTimerService::setOnCurrencyAccrualTimerTick(Tick tick) {
    install(Timer::currencyAccrual, std::move(tick));
}

void RecordingTimerService::setOnRequestTimerTick(Tick tick) {
    install(Timer::request, std::move(tick));
}

void RecordingTimerService::setOnActivityTimerTick(Tick tick) {
    install(Timer::activity, std::move(tick));
}

void RecordingTimerService::resetRequestTimer() {
    std::lock_guard lock(mutex_);
    ++requestTimerResets_;
}

void RecordingTimerService::startTimers() {
    std::lock_guard lock(mutex_);
    running_ = true;
}

void RecordingTimerService::stopTimers() {
    std::lock_guard lock(mutex_);
    running_ = false;
}

}  // namespace zqb::test
