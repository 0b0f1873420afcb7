#pragma once

// Small helpers that more than one of the analytics logic's source files use; private to the logic.

#include <optional>

namespace zqb::logic_support {

inline constexpr const char* kTrackingDisabled = "SDK not active!\n\t Tracking status is Disable!";

// An empty map is reported as no map at all.
template <typename Map>
std::optional<Map> nonEmpty(Map map) {
    if (map.empty()) {
        return std::nullopt;
    }
    return map;
}

}  // namespace zqb::logic_support
