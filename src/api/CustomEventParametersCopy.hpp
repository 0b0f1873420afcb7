#pragma once

#include "model/FlatParameters.hpp"

#include <ZQBAnalytics/ZQBCustomEventParameters.hpp>

namespace zqb {

// The parameters a queued custom event carries: each stored value as it is (Bool, Int, Double, String),
// taken on the host's thread at the moment of the call.
FlatParameters customEventParametersCopy(const ZQBCustomEventParameters& parameters);

}  // namespace zqb
