#include "services/EventsService.hpp"

#include "backend/Config.hpp"
#include "foundation/Logger.hpp"
#include "model/EventObject.hpp"

#include <string>
#include <utility>

namespace zqb {

EventsService::EventsService(std::shared_ptr<StateManagerProtocol> stateManager,
                             std::shared_ptr<EventRepository> eventRepository)
    : stateManager_(std::move(stateManager)), eventRepository_(std::move(eventRepository)) {}

void EventsService::setOnFullStackAction(FullStackAction action) {
    onFullStackAction_ = std::move(action);
}

void EventsService::addEvent(const Storable& event) {
    const auto user = stateManager_->getActiveUser();
    createEventForUser(event, *user);
}

void EventsService::addEvent(const Storable& event, const User& user) {
    createEventForUser(event, user);
}

void EventsService::removeAllEvents() {
    eventRepository_->clear();
}

void EventsService::removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) {
    std::vector<int64_t> ids;
    ids.reserve(users.size());
    for (const auto& user : users) {
        ids.push_back(user->idKey);
    }
    eventRepository_->deleteForDataForUsers(ids);
}

void EventsService::createEventForUser(const Storable& event, const User& user) {
    // Always the active project's rules, also for an event stored for another user.
    const auto project = stateManager_->getActiveProject();
    if (!project->trackingAvailable) {
        Logger::writeLog(ZQBLogLevel::debug,
                         "Event [" + event.eventCode() + "] not created. Tracking is Disabled");
        return;
    }
    const Config& config = stateManager_->getActiveConfiguration();
    if (config.exclude && config.exclude->all.value_or(false)) {
        Logger::writeLog(ZQBLogLevel::info, "All events is excluded by project configuration");
        return;
    }
    const int64_t countForRequest = config.countForRequest;
    const int64_t userId = user.idKey;

    std::string json = event.getJson();
    auto row = EventObject::make(event.eventCode(), -1, userId, json);
    eventRepository_->insert(row, std::move(json));
    // The record's description is composed only for a line that goes somewhere: storing is the hot path.
    if (Logger::isLogged(ZQBLogLevel::info)) {
        Logger::writeLog(ZQBLogLevel::info, "Create a new event: \n" + event.description());
    }

    // Over the repository's cache, which after the insert holds the whole table.
    const int64_t count = eventRepository_->countForUser(userId);
    // A threshold, not a crossing: while sending fails every further event asks again.
    if (count >= countForRequest && onFullStackAction_) {
        const FullStackAction action = onFullStackAction_;
        action();
    }
}

}  // namespace zqb
