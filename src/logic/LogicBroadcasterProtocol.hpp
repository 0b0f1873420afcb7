#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace zqb {

// How the identifiers observer reaches the analytics logic. Called on the income queue.
class LogicBroadcasterProtocol {
public:
    using IdentifiersUpdate = std::function<void(std::optional<int64_t> vorantelId)>;

    virtual ~LogicBroadcasterProtocol() = default;

    // The closure told each server-assigned user id; it is the configuration service's identifiers
    // callback, so setting it here installs it there.
    virtual IdentifiersUpdate onBackendIdentifiersUpdate() const = 0;
    virtual void setOnBackendIdentifiersUpdate(IdentifiersUpdate closure) = 0;

    // Passes the id already stored for the active project (absent when none) to that closure.
    virtual void forceUpdate() = 0;
};

}  // namespace zqb
