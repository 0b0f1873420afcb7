#pragma once

#include <cstdint>

namespace zqb {

// How many parameters a custom event may carry. `ZQBCustomEventParameters` reads it on the host's thread
// whenever a parameter is added, while the income queue changes the active project, so the value is
// published here as an atomic instead of being read from the logic's state.
//
// The analytics logic publishes `eventParamsCount` of the active project's configuration each time that
// configuration is set or replaced; destroying the core clears it. While nothing is published, the limit
// is that of the built-in default configuration.
class CustomEventParamsLimit {
public:
    // `eventParamsCount` of the built-in default configuration.
    static constexpr int64_t defaultLimit = 20;

    CustomEventParamsLimit() = delete;

    static int64_t current();
    static void publish(int64_t limit);
    static void clear();
};

}  // namespace zqb
