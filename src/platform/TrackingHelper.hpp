#pragma once

#include "host/Environment.hpp"

namespace zqb {

// Reads the user's answer to the tracking-authorisation prompt.
class TrackingHelper {
public:
    explicit TrackingHelper(host::Environment& environment) : environment_(environment) {}

    // True when tracking is authorised (3) or not yet determined (0); false when restricted or denied, and,
    // with a WARNING, when the host has no tracking-authorisation prompt.
    bool trackingStatus() const;

private:
    host::Environment& environment_;
};

}  // namespace zqb
