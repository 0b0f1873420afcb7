#pragma once

#include "model/Storable.hpp"

#include <ZQBAnalytics/ZQBFinishProgressionEventParameters.hpp>

#include <cstdint>
#include <string>

namespace zqb {

// The finish parameters as a queued call carries them: a copy taken on the host's thread. The call without
// parameters carries {true, 0, {}, {}}.
struct ZQBFinishProgressionEventParametersLocal {
    bool successfulCompletion = false;
    int64_t duration = 0;
    IntMap spent;
    IntMap earned;

    static ZQBFinishProgressionEventParametersLocal from(
        const ZQBFinishProgressionEventParameters& parameters) {
        return {parameters.successfulCompletion(), parameters.duration(), parameters.spent(),
                parameters.earned()};
    }

    // As the public object describes itself.
    std::string description() const;

    bool operator==(const ZQBFinishProgressionEventParametersLocal&) const = default;
};

}  // namespace zqb
