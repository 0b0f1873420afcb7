#include "services/ConfigService.hpp"

#include "foundation/Logger.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Clock.hpp"
#include "host/Environment.hpp"

#include <algorithm>
#include <utility>

namespace zqb {

ConfigService::ConfigService(std::shared_ptr<StateManagerProtocol> stateManager,
                             std::shared_ptr<ProjectRepository> projectRepository,
                             std::shared_ptr<BackendProtocol> backend, const Queues& queues,
                             host::Environment& environment)
    : stateManager_(std::move(stateManager)),
      projectRepository_(std::move(projectRepository)),
      backend_(std::move(backend)),
      incomeQueue_(queues.income),
      configQueue_(queues.config),
      configBackQueue_(queues.configBack),
      environment_(environment) {}

void ConfigService::receiveSdkConfig() {
    if (droppedAfterStop("configuration request")) {
        return;
    }
    const auto project = stateManager_->getActiveProject();
    const auto user = stateManager_->getActiveUser();
    std::string appKey = project ? project->applicationKey : std::string();
    Identifiers identifiers = user ? stateManager_->getIdentifiers(*user) : Identifiers{};
    Versions versions = stateManager_->getVersion();
    postWeakly(configQueue_, weak_from_this(), &ConfigService::requestConfig, std::move(appKey),
               std::move(identifiers), std::move(versions));
}

void ConfigService::requestConfig(const std::string& appKey, const Identifiers& identifiers,
                                  const Versions& versions) {
    Logger::writeLog(ZQBLogLevel::debug, "Trying to get analytics configuration from the server");
    auto answer = backend_->requestConfig(appKey, identifiers, versions);
    if (!answer.isDefault) {
        postWeakly(
            incomeQueue_, weak_from_this(),
            [](ConfigService& self, const Config& config) {
                if (!self.droppedAfterStop("configuration answer") && self.onSdkConfigUpdate_) {
                    self.onSdkConfigUpdate_(config);
                }
            },
            std::move(answer.config));
        return;
    }
    const int64_t delaySeconds = sdkConfigAttempt_ * sdkConfigTimeout;
    // When the gateway gave no answer at all, the line says why after the delay.
    Logger::writeLog(
        ZQBLogLevel::debug,
        "Failed to get analytics configuration, using the default configuration and retrying after " +
            std::to_string(delaySeconds) + " seconds" +
            (answer.withoutAnswer ? " (" + *answer.withoutAnswer + ")" : std::string()));
    // The retry goes through the income queue, where the next snapshot of state is taken.
    environment_.delayedScheduler()->runAfter(delaySeconds * 1000,
                                              [weak = weak_from_this(), &queue = incomeQueue_] {
                                                  postWeakly(queue, weak, &ConfigService::receiveSdkConfig);
                                              });
    sdkConfigAttempt_ = std::min(sdkConfigAttempt_ + 1, maximumSdkConfigAttempt);
}

void ConfigService::receiveUserBackendIds() {
    if (droppedAfterStop("identification request")) {
        return;
    }
    const auto user = stateManager_->getActiveUser();
    if (backendIDsRequestInProcess_) {
        Logger::writeLog(ZQBLogLevel::debug, "Receiving operation for user backend identifiers [" +
                                                 (user ? user->userId.value_or("") : std::string()) +
                                                 "] has been canceled");
        return;
    }
    if (!user) {
        return;
    }
    const auto project = stateManager_->getActiveProject();
    std::string appKey = project ? project->applicationKey : std::string();
    Identifiers identifiers = stateManager_->getIdentifiers(*user);
    backendIDsRequestInProcess_ = true;
    postWeakly(
        configQueue_, weak_from_this(),
        [](ConfigService& self, const std::string& key, const Identifiers& held, int64_t userKey,
           int64_t series) {
            self.cancelRetryTask();
            self.getBackendIdentifiers(1, key, held, userKey, series);
        },
        std::move(appKey), std::move(identifiers), user->idKey, identifiersSeries_.load());
}

void ConfigService::resetUserBackendIds() {
    ++identifiersSeries_;
    cancelRetryTask();
    backendIDsRequestInProcess_ = false;
}

void ConfigService::getBackendIdentifiers(int64_t attempt, const std::string& appKey,
                                          const Identifiers& identifiers, int64_t userKey, int64_t series) {
    if (droppedAfterStop("identification retry") || series != identifiersSeries_.load()) {
        return;
    }
    const auto answer = backend_->requestIdentification(appKey, attempt, identifiers);
    if (const auto* value = answer.identifiersValue()) {
        postWeakly(incomeQueue_, weak_from_this(), &ConfigService::applyIdentifiers, userKey, *value);
    } else if (const auto delay = answer.retryAfterValue()) {
        Logger::writeLog(ZQBLogLevel::debug,
                         "BackendIdentifiers: let's retry after: " + std::to_string(*delay));
        // A delay of zero or below would send the requests back to back; longer ones are used as given, and
        // the scheduler saturates the deadline.
        int64_t delayMs = *delay;
        if (delayMs < minimumRetryDelayMs) {
            Logger::writeLog(ZQBLogLevel::warning, "BackendIdentifiers: the retry delay of " +
                                                       std::to_string(delayMs) +
                                                       " ms is below one second; retrying after one second");
            delayMs = minimumRetryDelayMs;
        }
        const int64_t next = host::saturatingAdd(attempt, 1);
        replaceRetryTask(environment_.delayedScheduler()->runAfter(
            delayMs,
            [weak = weak_from_this(), &queue = configBackQueue_, next, appKey, identifiers, userKey, series] {
                postWeakly(queue, weak, &ConfigService::getBackendIdentifiers, next, appKey, identifiers,
                           userKey, series);
            }));
    } else if (const auto* text = answer.errorValue()) {
        Logger::writeLog(ZQBLogLevel::error, "BackendIdentifiers: " + *text);
        stopRequestProcess();
    } else {
        Logger::writeLog(ZQBLogLevel::debug, "BackendIdentifiers: doNotRetry");
        stopRequestProcess();
    }
}

void ConfigService::applyIdentifiers(int64_t userKey, const BackendIdentifiers::Identifiers& value) {
    backendIDsRequestInProcess_ = false;
    // The request was under way when the library was destroyed; its database is closed.
    if (droppedAfterStop("identification answer")) {
        return;
    }
    const auto project = stateManager_->getActiveProject();
    if (!project || !project->trackingAvailable) {
        Logger::writeLog(ZQBLogLevel::info,
                         "BackendIdentifiers: The query result was not applied. Tracking is Disabled");
        return;
    }
    const auto user = stateManager_->getActiveUser();
    if (!user || user->idKey != userKey) {
        Logger::writeLog(
            ZQBLogLevel::debug,
            "In the process of receiving backendidentifiers from the server, the user was changed. "
            "Request the identifiers again.");
        receiveUserBackendIds();
        return;
    }
    stateManager_->updateDeviceIdentifiers(value.vorantelId, value.crossPlatformVorantelId,
                                           value.vorantelIdTimestamp);
    Logger::writeLog(ZQBLogLevel::info, "For [" + user->userId.value_or("") +
                                            "] user the updated backendIdentifiers are:\n" +
                                            value.description());
    if (onIdentifiersUpdate_) {
        onIdentifiersUpdate_(value.vorantelId);
    }
}

void ConfigService::stop() {
    stopped_ = true;
    cancelRetryTask();
}

bool ConfigService::droppedAfterStop(std::string_view what) const {
    if (!stopped_) {
        return false;
    }
    Logger::writeLog(ZQBLogLevel::debug,
                     "The library was destroyed: the " + std::string(what) + " is dropped");
    return true;
}

void ConfigService::stopRequestProcess() {
    postWeakly(incomeQueue_, weak_from_this(),
               [](ConfigService& self) { self.backendIDsRequestInProcess_ = false; });
}

void ConfigService::replaceRetryTask(std::shared_ptr<host::TimerHandle> task) {
    std::lock_guard lock(retryMutex_);
    retryTimerTask_.swap(task);
}

void ConfigService::cancelRetryTask() {
    std::shared_ptr<host::TimerHandle> pending;
    {
        std::lock_guard lock(retryMutex_);
        pending.swap(retryTimerTask_);
    }
    if (pending) {
        pending->invalidate();
    }
}

}  // namespace zqb
