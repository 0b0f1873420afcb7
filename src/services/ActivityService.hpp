#pragma once

#include "host/Environment.hpp"
#include "repositories/UserRepository.hpp"
#include "services/ActivityServiceProtocol.hpp"
#include "services/StateManagerProtocol.hpp"

#include <memory>

namespace zqb {

// Sessions by the configured session timeout: a return to the foreground within `sessionTimeout` ms of the
// time the user was last seen (the last stop or heartbeat) continues the session, a longer absence or a
// user never seen opens a new one.
//
// The running activity remembers its own start and the user it was started for. A stop or a heartbeat
// therefore always concerns that user and that foreground time, even when the active user changed in
// between, and a stop always ends the activity.
class ActivityService final : public ActivityServiceProtocol {
public:
    ActivityService(std::shared_ptr<StateManagerProtocol> stateManager,
                    std::shared_ptr<UserRepository> userRepository, host::Environment& environment);

    bool isActive() const override { return foreground_ != nullptr; }
    std::optional<bool> startActivity() override;
    std::optional<int64_t> stopActivity() override;
    std::optional<int64_t> getSessionId() override;
    void updateLastBackgroundTime() override;

private:
    struct Foreground {
        std::shared_ptr<User> user;
        int64_t startMs;
    };

    int64_t now() const;

    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<UserRepository> userRepository_;
    host::Environment& environment_;
    std::unique_ptr<Foreground> foreground_;  // present while active
};

}  // namespace zqb
