#pragma once

#include "model/AnyCodable.hpp"

#include <ZQBAnalytics/ZQBCustomEventParameters.hpp>

namespace zqb {

// The parameter dictionary a queued custom event carries: each stored value wrapped as it is (Bool, Int,
// Double, String), taken on the host's thread at the moment of the call.
AnyCodableMap customEventParametersCopy(const ZQBCustomEventParameters& parameters);

}  // namespace zqb
