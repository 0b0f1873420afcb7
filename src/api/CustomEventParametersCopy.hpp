#pragma once

#include "model/PackedParameters.hpp"

#include <ZQBAnalytics/ZQBCustomEventParameters.hpp>

namespace zqb {

// The parameters a queued custom event carries: each stored value as it is (Bool, Int, Double, String),
// taken on the host's thread at the moment of the call.
PackedParameters customEventParametersCopy(const ZQBCustomEventParameters& parameters);

}  // namespace zqb
