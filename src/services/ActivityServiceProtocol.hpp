#pragma once

#include <cstdint>
#include <optional>

namespace zqb {

// Foreground and background bookkeeping of the active user, and the decision whether a return to the
// foreground opens a new session. Called on the income queue.
class ActivityServiceProtocol {
public:
    virtual ~ActivityServiceProtocol() = default;

    // True between a start and a stop of activity.
    virtual bool isActive() const = 0;

    // Nothing when an activity already runs; false when the session goes on; true when a new session was
    // opened (the user's sessionId is then the start time).
    virtual std::optional<bool> startActivity() = 0;
    // The foreground time that ends now, in whole seconds, or nothing when no activity ran. Always leaves
    // the activity stopped.
    virtual std::optional<int64_t> stopActivity() = 0;
    // The active user's session id; nothing while the user never had a session.
    virtual std::optional<int64_t> getSessionId() = 0;
    // The activity heartbeat: while an activity runs, records now as the time the user was last seen.
    virtual void updateLastBackgroundTime() = 0;
};

}  // namespace zqb
