#pragma once

#include "backend/Config.hpp"

#include <cstdint>
#include <functional>
#include <optional>

namespace zqb {

// The project's analytics configuration and the active user's server-assigned identifiers, fetched from the
// gateway with their retries.
class ConfigServiceProctocol {
public:
    virtual ~ConfigServiceProctocol() = default;

    // Receives, on the income queue, every configuration the gateway really sent (never the built-in
    // default). Set on the income queue.
    virtual const std::function<void(const Config&)>& onSdkConfigUpdate() const = 0;
    virtual void setOnSdkConfigUpdate(std::function<void(const Config&)> handler) = 0;
    // Receives, on the income queue, the new `vorantelId` after the gateway's identifiers were stored. Set on
    // the income queue.
    virtual const std::function<void(std::optional<int64_t>)>& onIdentifiersUpdate() const = 0;
    virtual void setOnIdentifiersUpdate(std::function<void(std::optional<int64_t>)> handler) = 0;

    // The operations below are called on the income queue.

    // Requests the analytics configuration; a default answer is retried after attempt x 60 s (at most 600 s).
    virtual void receiveSdkConfig() = 0;
    // Kept for the interface's shape; does nothing.
    virtual void receiveABConfig() = 0;
    // Requests the active user's server-assigned identifiers unless such a request is under way.
    virtual void receiveUserBackendIds() = 0;
    // Ends the identifiers request under way, whose headers name the ids it was made with (a device id
    // withdrawn since): it sends nothing more, and the next request is made afresh.
    virtual void resetUserBackendIds() = 0;
    // The library is being destroyed: no request is made from here on, and an answer that arrives later is
    // dropped with a DEBUG line, as nothing is left to apply it to.
    virtual void stop() = 0;
};

}  // namespace zqb
