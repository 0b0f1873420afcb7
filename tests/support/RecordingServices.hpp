#pragma once

#include "services/EventsServiceProtocol.hpp"
#include "services/ReportServiceProtocol.hpp"
#include "services/ServiceFactoryProtocol.hpp"
#include "services/TimerServiceProtocol.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zqb::test {

// One event a recording service was handed: its code, its record as JSON and the user it was stored for
// (absent: the active user).
struct RecordedEvent {
    std::string code;
    nlohmann::ordered_json json;
    std::optional<int64_t> userKey;
};

// Events service that keeps what the logic stores instead of writing it. `fullStack()` runs the action the
// logic installed, as a full batch would. Safe to read from the test's thread while the income queue calls.
class RecordingEventsService final : public EventsServiceProtocol {
public:
    std::vector<RecordedEvent> events() const;
    std::vector<RecordedEvent> events(const std::string& code) const;
    int removeAllCalls() const;
    void fullStack();

    void setOnFullStackAction(FullStackAction action) override;
    void addEvent(const Storable& event) override;
    void addEvent(const Storable& event, const User& user) override;
    void removeAllEvents() override;
    void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) override;

private:
    mutable std::mutex mutex_;
    std::vector<RecordedEvent> events_;
    int removeAllCalls_ = 0;
    FullStackAction fullStack_;
};

// Report service that counts the sends the logic asks for and keeps the flash events, sending nothing.
class RecordingReportService final : public ReportServiceProtocol {
public:
    int sendBufferedCalls() const;
    std::vector<RecordedEvent> flashEvents() const;

    const std::function<void()>& onReportSendAction() const override { return onReportSendAction_; }
    void setOnReportSendAction(std::function<void()> action) override;
    void sendFlashEvent(const Storable& event) override;
    void sendBufferedEvents() override;
    void removeInactiveUserData(const std::vector<std::shared_ptr<User>>&) override {}
    void removeAllReports() override {}

private:
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
    explicit RecordingServiceFactory(std::shared_ptr<ServiceFactoryProtocol> real) : real_(std::move(real)) {}

    const std::shared_ptr<RecordingEventsService> events = std::make_shared<RecordingEventsService>();
    const std::shared_ptr<RecordingReportService> reports = std::make_shared<RecordingReportService>();
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
