#pragma once

#include "core/MessagingLogicProtocol.hpp"

#include <memory>

namespace zqb {

class EventsServiceProtocol;
class MessagingServiceProtocol;

// The messaging logic until the messaging bridge is built: it holds the two services it is built over.
class NullMessagingLogic final : public MessagingLogicProtocol {
public:
    NullMessagingLogic(std::shared_ptr<EventsServiceProtocol> eventsService,
                       std::shared_ptr<MessagingServiceProtocol> messagingService)
        : eventsService(std::move(eventsService)), messagingService(std::move(messagingService)) {}

    const std::shared_ptr<EventsServiceProtocol> eventsService;
    const std::shared_ptr<MessagingServiceProtocol> messagingService;
};

}  // namespace zqb
