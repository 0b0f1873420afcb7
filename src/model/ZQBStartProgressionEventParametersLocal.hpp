#pragma once

#include <ZQBAnalytics/ZQBStartProgressionEventParameters.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

// The start parameters as a queued call carries them: a copy taken on the host's thread.
struct ZQBStartProgressionEventParametersLocal {
    std::optional<int64_t> difficulty;
    std::optional<std::string> source;

    static ZQBStartProgressionEventParametersLocal from(
        const ZQBStartProgressionEventParameters& parameters) {
        return {parameters.difficulty_, parameters.source_};
    }

    // As the public object describes itself.
    std::string description() const;

    bool operator==(const ZQBStartProgressionEventParametersLocal&) const = default;
};

}  // namespace zqb
