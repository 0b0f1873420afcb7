#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

// The progression location the user is in: set when a progression event starts, gone when it finishes or
// the user changes. Kept in memory only.
struct Location {
    std::string name;
    std::optional<std::string> source;
    std::optional<int64_t> difficulty;
    int64_t startTimestamp = 0;  // Unix milliseconds

    bool operator==(const Location&) const = default;
};

}  // namespace zqb
