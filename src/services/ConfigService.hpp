#pragma once

#include "backend/Backend.hpp"
#include "backend/BackendIdentifiers.hpp"
#include "backend/Config.hpp"
#include "backend/Versions.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "host/RunLoop.hpp"
#include "model/Identifiers.hpp"
#include "services/ConfigServiceProctocol.hpp"
#include "services/StateManagerProtocol.hpp"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace zqb {

class ProjectRepository;

// Fetches the project's analytics configuration and the active user's server-assigned identifiers from the
// gateway on the config queue (identifiers retries on the config back queue) and hands the answers back on
// the income queue. Every snapshot of state (project, user, identifiers, versions) is taken on the income
// queue; delayed retries are timed by the environment's delayed scheduler and only queue a block. Blocks
// queued elsewhere hold the service weakly. Create it with `std::make_shared`.
class ConfigService final : public ConfigServiceProctocol,
                            public std::enable_shared_from_this<ConfigService> {
public:
    static constexpr int64_t sdkConfigTimeout = 60;  // seconds of delay per failed attempt
    static constexpr int64_t maximumSdkConfigAttempt = 10;
    static constexpr int64_t minimumRetryDelayMs = 1000;  // shortest wait before an identifiers retry

    ConfigService(std::shared_ptr<StateManagerProtocol> stateManager,
                  std::shared_ptr<ProjectRepository> projectRepository,
                  std::shared_ptr<BackendProtocol> backend, const Queues& queues,
                  host::Environment& environment);

    const std::function<void(const Config&)>& onSdkConfigUpdate() const override {
        return onSdkConfigUpdate_;
    }
    void setOnSdkConfigUpdate(std::function<void(const Config&)> handler) override {
        onSdkConfigUpdate_ = std::move(handler);
    }
    const std::function<void(std::optional<int64_t>)>& onIdentifiersUpdate() const override {
        return onIdentifiersUpdate_;
    }
    void setOnIdentifiersUpdate(std::function<void(std::optional<int64_t>)> handler) override {
        onIdentifiersUpdate_ = std::move(handler);
    }

    void receiveSdkConfig() override;
    void receiveABConfig() override {}
    void receiveUserBackendIds() override;
    void resetUserBackendIds() override;
    void stop() override;

    // Income queue only: an identifiers request (attempts, retries and the application of its answer) is
    // under way.
    bool backendIDsRequestInProcess() const { return backendIDsRequestInProcess_; }

private:
    void requestConfig(const std::string& appKey, const Identifiers& identifiers, const Versions& versions);
    void getBackendIdentifiers(int64_t attempt, const std::string& appKey, const Identifiers& identifiers,
                               int64_t userKey, int64_t series);
    void applyIdentifiers(int64_t userKey, const BackendIdentifiers::Identifiers& value);
    // True, with a DEBUG line naming `what`, once `stop` has run.
    bool droppedAfterStop(std::string_view what) const;
    void stopRequestProcess();
    void replaceRetryTask(std::shared_ptr<host::TimerHandle> task);
    void cancelRetryTask();

    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<ProjectRepository> projectRepository_;  // held for the container's shape; unused
    std::shared_ptr<BackendProtocol> backend_;
    QueueManager& incomeQueue_;
    QueueManager& configQueue_;
    QueueManager& configBackQueue_;
    host::Environment& environment_;
    int64_t sdkConfigAttempt_ = 1;  // config queue only
    // Written on the config and config back queues, cancelled on the config queue.
    std::mutex retryMutex_;
    std::shared_ptr<host::TimerHandle> retryTimerTask_;
    bool backendIDsRequestInProcess_ = false;  // income queue only
    // Counts the identifiers requests ended by `resetUserBackendIds`: an attempt of an earlier series is not
    // made. Written on the income queue, read on the config queues.
    std::atomic<int64_t> identifiersSeries_ = 0;
    // Set on the income queue, read there and on the config queues before a request.
    std::atomic<bool> stopped_ = false;
    std::function<void(const Config&)> onSdkConfigUpdate_;
    std::function<void(std::optional<int64_t>)> onIdentifiersUpdate_;
};

}  // namespace zqb
