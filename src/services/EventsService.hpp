#pragma once

#include "repositories/EventRepository.hpp"
#include "services/EventsServiceProtocol.hpp"
#include "services/StateManagerProtocol.hpp"

#include <memory>

namespace zqb {

// Stores an event only while the active project's tracking is on and its configuration does not exclude
// every event; then tells its owner, through the full-stack action, when the user's buffered events reach
// the batch size. Per-event exclusions are checked by the callers before they build the event.
class EventsService final : public EventsServiceProtocol {
public:
    EventsService(std::shared_ptr<StateManagerProtocol> stateManager,
                  std::shared_ptr<EventRepository> eventRepository);

    void setOnFullStackAction(FullStackAction action) override;
    void addEvent(const Storable& event) override;
    void addEvent(const Storable& event, const User& user) override;
    void removeAllEvents() override;
    void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) override;

private:
    void createEventForUser(const Storable& event, const User& user);

    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<EventRepository> eventRepository_;
    FullStackAction onFullStackAction_;
};

}  // namespace zqb
