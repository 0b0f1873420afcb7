#pragma once

namespace zqb {

// The messaging logic that the start-up operation builds over the events and messaging services. The
// operations of the messaging bridge join here with the logic that implements them.
class MessagingLogicProtocol {
public:
    virtual ~MessagingLogicProtocol() = default;
};

}  // namespace zqb
