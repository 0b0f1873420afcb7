#pragma once

#include "logic/AnalyticsInitProtocol.hpp"
#include "logic/AnalyticsProtocol.hpp"
#include "logic/LogicBroadcasterProtocol.hpp"

namespace zqb {

// Everything the core needs of the one analytics logic it builds per start-up: the operations the proxy and
// destroy call, the start-up operations, and the identifiers broadcaster for the observer. The logic is
// also the life cycle's listener; it registers itself when it is built (see `LogicFactory`).
class AnalyticsLogicProtocol : public AnalyticsProtocol,
                               public AnalyticsInitProtocol,
                               public LogicBroadcasterProtocol {};

}  // namespace zqb
