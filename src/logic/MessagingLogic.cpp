#include "logic/MessagingLogic.hpp"

#include "model/PushOpened.hpp"
#include "model/PushToken.hpp"
#include "services/EventsServiceProtocol.hpp"
#include "services/MessagingServiceProtocol.hpp"

#include <utility>

namespace zqb {

MessagingLogic::MessagingLogic(std::shared_ptr<EventsServiceProtocol> eventsService,
                               std::shared_ptr<MessagingServiceProtocol> messagingService,
                               std::shared_ptr<AnalyticsProtocol> analyticsProxy,
                               std::shared_ptr<host::ClockProtocol> clock)
    : eventsService_(std::move(eventsService)),
      messagingService_(std::move(messagingService)),
      analyticsProxy_(std::move(analyticsProxy)),
      clock_(std::move(clock)) {}

void MessagingLogic::pushToken(std::string token, bool isAllowed) {
    eventsService_->addEvent(PushToken(host::millisecondsSince1970(*clock_), std::move(token), isAllowed));
    // The events service may have declined it (tracking off, all events excluded); the flush is asked
    // for all the same, for whatever is stored.
    analyticsProxy_->sendBufferedEvents();
}

void MessagingLogic::pushOpened(int64_t timestamp, int64_t pushId, std::optional<std::string> button) {
    eventsService_->addEvent(PushOpened(timestamp, pushId, std::move(button)));
    analyticsProxy_->sendBufferedEvents();
}

void MessagingLogic::getPushCategories(CategoriesCompletion completion) {
    messagingService_->getPushCategories(std::move(completion));
}

}  // namespace zqb
