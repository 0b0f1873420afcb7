#pragma once

#include "model/Storable.hpp"
#include "model/User.hpp"

#include <functional>
#include <memory>
#include <vector>

namespace zqb {

// The one door through which event records become stored rows of "events". Called on the income queue.
class EventsServiceProtocol {
public:
    using FullStackAction = std::function<void()>;

    virtual ~EventsServiceProtocol() = default;

    // Called in place, inside the `addEvent` that stored an event, whenever the user the event was stored
    // for then has at least `countForRequest` stored events. Installed once by the analytics logic.
    virtual void setOnFullStackAction(FullStackAction action) = 0;

    // Stores the event for the active user.
    virtual void addEvent(const Storable& event) = 0;
    // Stores the event for `user` (the currency accruals saved for another user).
    virtual void addEvent(const Storable& event, const User& user) = 0;
    // Empties the table "events".
    virtual void removeAllEvents() = 0;
    // Deletes the stored events of these users.
    virtual void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) = 0;
};

}  // namespace zqb
