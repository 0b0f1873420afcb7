#pragma once

#include "host/Environment.hpp"

namespace zqb {

// Reads the user's answer to the tracking-authorisation prompt.
class TrackingHelper {
public:
    explicit TrackingHelper(host::Environment& environment) : environment_(environment) {}

    // True only when the user authorised tracking (3); false when the prompt is not answered yet, restricted
    // or denied, and, with a WARNING, when the host has no tracking-authorisation prompt.
    bool trackingStatus() const;

private:
    host::Environment& environment_;
};

}  // namespace zqb
