#pragma once

#include "services/EventsServiceProtocol.hpp"
#include "services/ReportServiceProtocol.hpp"
#include "services/ServiceFactoryProtocol.hpp"
#include "services/StateManagerProtocol.hpp"
#include "services/TimerServiceProtocol.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zqb::test {

// One event a recording service was handed: its code and its record as JSON. An event handed to be stored
// also tells the user it was stored for (the one given, else the user active then), whether the active
// project's tracking was on then (the events service stores nothing while it is off) and whether the logic
// asked for a flush of the stored events after it.
struct RecordedEvent {
    std::string code;
    nlohmann::ordered_json json;
    std::optional<int64_t> userKey;
    bool trackingAvailable = true;
    bool flushed = false;
};

// Events service that keeps what the logic stores instead of writing it. `fullStack()` runs the action the
// logic installed, as a full batch would. Safe to read from the test's thread while the income queue calls.
class RecordingEventsService final : public EventsServiceProtocol {
public:
    // The state manager the logic shares, read when an event is handed over; none: no user, tracking on.
    explicit RecordingEventsService(std::shared_ptr<StateManagerProtocol> state = nullptr)
        : state_(std::move(state)) {}

    // Every event handed over, in order, but those removed before a flush took them: a flushed event has
    // left the table for a report, so the removals take only the others.
    std::vector<RecordedEvent> events() const;
    std::vector<RecordedEvent> events(const std::string& code) const;
    // Those of them a flush was asked for after, and those it was not: what the table would still hold.
    std::vector<RecordedEvent> flushed(const std::string& code) const;
    std::vector<RecordedEvent> unflushed() const;
    std::vector<RecordedEvent> unflushed(const std::string& code) const;
    int removeAllCalls() const;
    void fullStack();
    // Marks every event kept so far as flushed: the report service was asked to send the stored events.
    void markFlushed();

    void setOnFullStackAction(FullStackAction action) override;
    void addEvent(const Storable& event) override;
    void addEvent(const Storable& event, const User& user) override;
    void removeAllEvents() override;
    void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) override;

private:
    RecordedEvent entryFor(const Storable& event, const User& user) const;

    const std::shared_ptr<StateManagerProtocol> state_;
    mutable std::mutex mutex_;
    std::vector<RecordedEvent> events_;
    int removeAllCalls_ = 0;
    FullStackAction fullStack_;
};

// Report service that counts the sends the logic asks for and keeps the flash events, sending nothing. A
// send marks the events `events` kept so far as flushed.
class RecordingReportService final : public ReportServiceProtocol {
public:
    explicit RecordingReportService(std::shared_ptr<RecordingEventsService> events = nullptr)
        : events_(std::move(events)) {}

    int sendBufferedCalls() const;
    std::vector<RecordedEvent> flashEvents() const;
    std::vector<RecordedEvent> flashEvents(const std::string& code) const;

    const std::function<void()>& onReportSendAction() const override { return onReportSendAction_; }
    void setOnReportSendAction(std::function<void()> action) override;
    void sendFlashEvent(const Storable& event) override;
    void sendBufferedEvents() override;
    void removeInactiveUserData(const std::vector<std::shared_ptr<User>>&) override {}
    void removeAllReports() override {}
    void finishSending() override {}

private:
    const std::shared_ptr<RecordingEventsService> events_;
    mutable std::mutex mutex_;
    int sendBufferedCalls_ = 0;
    std::vector<RecordedEvent> flashEvents_;
    std::function<void()> onReportSendAction_;
};

// Timer service that schedules nothing: it records whether the timers run and fires a tick when told.
class RecordingTimerService final : public TimerServiceProtocol {
public:
    enum class Timer { alive, currencyAccrual, request, activity };

    bool running() const;
    int requestTimerResets() const;
    // Runs the tick the logic installed for `timer`, on the calling thread (a test calls it on the income
    // queue, where the real ticks arrive).
    void tick(Timer timer);
    // Runs every installed tick once while the timers run, and none while they are stopped: what any stretch
    // of time longer than each period fires.
    void tickIfRunning();

    void setOnAliveTimerTick(Tick tick) override;
    void setOnCurrencyAccrualTimerTick(Tick tick) override;
    void setOnRequestTimerTick(Tick tick) override;
    void setOnActivityTimerTick(Tick tick) override;
    void resetRequestTimer() override;
    void startTimers() override;
    void stopTimers() override;

private:
    void install(Timer timer, Tick tick);

    mutable std::mutex mutex_;
    Tick ticks_[4];
    bool running_ = false;
    int requestTimerResets_ = 0;
};

// A service factory that hands out the recording events, report and timer services and passes every other
// request to `real`, so that a test sees only the logic's decisions about storing, sending and timing.
class RecordingServiceFactory final : public ServiceFactoryProtocol {
public:
    explicit RecordingServiceFactory(std::shared_ptr<ServiceFactoryProtocol> real)
        : events(std::make_shared<RecordingEventsService>(real->stateManager())), real_(std::move(real)) {}

    const std::shared_ptr<RecordingEventsService> events;
    const std::shared_ptr<RecordingReportService> reports = std::make_shared<RecordingReportService>(events);
    const std::shared_ptr<RecordingTimerService> timers = std::make_shared<RecordingTimerService>();

    std::shared_ptr<CoreFactoryProtocol> coreFactory() const override { return real_->coreFactory(); }
    std::shared_ptr<StateManagerProtocol> stateManager() const override { return real_->stateManager(); }
    std::shared_ptr<ProjectServiceProtocol> projectService() override { return real_->projectService(); }
    std::shared_ptr<TimerServiceProtocol> timerService() override { return timers; }
    std::shared_ptr<ConfigServiceProctocol> configService() override { return real_->configService(); }
    std::shared_ptr<UserServiceProtocol> userService() override { return real_->userService(); }
    std::shared_ptr<PeopleServiceProtocol> peopleService() override { return real_->peopleService(); }
    std::shared_ptr<LevelResourceServiceProtocol> levelResourceService() override {
        return real_->levelResourceService();
    }
    std::shared_ptr<ActivityServiceProtocol> activityService() override { return real_->activityService(); }
    std::shared_ptr<EventsServiceProtocol> eventsService() override { return events; }
    std::shared_ptr<ReportServiceProtocol> reportService() override { return reports; }
    std::shared_ptr<CurrencyAccrualServiceProtocol> currencyAccrualService() override {
        return real_->currencyAccrualService();
    }
    std::shared_ptr<AntiCheatServiceProctocol> antiCheatService() override {
        return real_->antiCheatService();
    }
    std::shared_ptr<MessagingServiceProtocol> messagingService() override {
        return real_->messagingService();
    }
    std::shared_ptr<SubscriptionServiceProtocol> subscriptionService() override {
        return real_->subscriptionService();
    }

private:
    const std::shared_ptr<ServiceFactoryProtocol> real_;
};

}  // namespace zqb::test
