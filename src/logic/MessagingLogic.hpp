#pragma once

#include "host/Clock.hpp"
#include "logic/AnalyticsProtocol.hpp"
#include "logic/MessagingProtocol.hpp"

#include <memory>

namespace zqb {

class EventsServiceProtocol;
class MessagingServiceProtocol;

// What the messaging module's calls do, on the income queue: a push token or a push opening becomes a
// stored event of the active user followed by a flush of the stored events; category requests go to the
// messaging service. Neither the token nor the button is checked: the module's values are recorded as
// given.
class MessagingLogic final : public MessagingProtocol {
public:
    // `analyticsProxy` is the core's analytics front, through which the flush is queued; `clock` stamps
    // the push token.
    MessagingLogic(std::shared_ptr<EventsServiceProtocol> eventsService,
                   std::shared_ptr<MessagingServiceProtocol> messagingService,
                   std::shared_ptr<AnalyticsProtocol> analyticsProxy,
                   std::shared_ptr<host::ClockProtocol> clock);

    void pushToken(std::string token, bool isAllowed) override;
    void pushOpened(int64_t timestamp, int64_t pushId, std::optional<std::string> button) override;
    void getPushCategories(CategoriesCompletion completion) override;

private:
    const std::shared_ptr<EventsServiceProtocol> eventsService_;
    const std::shared_ptr<MessagingServiceProtocol> messagingService_;
    const std::shared_ptr<AnalyticsProtocol> analyticsProxy_;
    const std::shared_ptr<host::ClockProtocol> clock_;
};

}  // namespace zqb
