#pragma once

#include "backend/BackendIdentifiers.hpp"
#include "backend/BackendMessage.hpp"
#include "backend/Config.hpp"
#include "backend/ContentFactory.hpp"
#include "backend/MessagingConfig.hpp"
#include "network/Network.hpp"
#include "network/ZQBError.hpp"

#include <ZQBAnalytics/ZQBVerifyResponse.hpp>

#include <memory>
#include <optional>
#include <string>

namespace zqb {

// The configuration request's result: the gateway's configuration, or the built-in default with
// `isDefault` true when none usable came back.
struct ConfigRequestResult {
    Config config;
    bool isDefault = true;
    // Why the gateway gave no answer at all, as `Response::withoutAnswer` says it; absent when it answered.
    std::optional<std::string> withoutAnswer{};
};

// A report upload's result: success, or a failure with its error (whose text says why).
struct SendAnalyticsResult {
    std::optional<ZQBError> error{};

    bool isSuccess() const { return !error.has_value(); }
    static SendAnalyticsResult success() { return {}; }
    static SendAnalyticsResult failure(ZQBError error) { return SendAnalyticsResult{std::move(error)}; }
};

// Every call turns each failure into its result value and never throws.
class BackendRepositoryProtocol {
public:
    virtual ~BackendRepositoryProtocol() = default;

    virtual ConfigRequestResult requestConfig(const std::string& appId,
                                              const BackendMessage& message) const noexcept = 0;
    virtual BackendIdentifiers requestIdentification(const std::string& appId,
                                                     const BackendMessage& message) const noexcept = 0;
    virtual SendAnalyticsResult sendAnalytics(
        const std::string& appId, const BackendMessage& message,
        const std::optional<std::string>& requestIdentifier) const noexcept = 0;
    virtual ZQBVerifyResponse sendVerifyReceipt(const std::string& appId,
                                                const BackendMessage& message) const noexcept = 0;
    virtual std::optional<MessagingConfig> requestMessagingConfig(
        const std::string& appId, const BackendMessage& message) const noexcept = 0;
};

// The client side of the gateway's five endpoints. Each call is one synchronous POST to
// base address + "/v2" + path + "?appId=" + key on the calling thread (a network queue), and turns the
// status and body into a typed result. Nothing is thrown: every failure becomes a result value.
class BackendRepository final : public BackendRepositoryProtocol {
public:
    // `clock` dates the default configuration should it be made by a failed configuration request.
    BackendRepository(std::shared_ptr<const NetworkProtocol> network,
                      std::shared_ptr<const ContentFactoryProtocol> contentFactory,
                      std::shared_ptr<const host::ClockProtocol> clock);

    // "/analytics/config": 200 with a configuration gives it (isDefault false); anything else the default.
    ConfigRequestResult requestConfig(const std::string& appId,
                                      const BackendMessage& message) const noexcept override;
    // "/analytics/identification": 422 doNotRetry, 202 retryAfter, 200 identifiers, else error.
    BackendIdentifiers requestIdentification(const std::string& appId,
                                             const BackendMessage& message) const noexcept override;
    // "/analytics/report": 200 success, else failure.
    SendAnalyticsResult sendAnalytics(
        const std::string& appId, const BackendMessage& message,
        const std::optional<std::string>& requestIdentifier) const noexcept override;
    // "/verify/payment": the gateway's status 0 to 4 on 200, else server or internal error.
    ZQBVerifyResponse sendVerifyReceipt(const std::string& appId,
                                        const BackendMessage& message) const noexcept override;
    // "/messaging/config": whatever the status, a body that reads as categories gives them. No answer at all
    // is logged at DEBUG with its reason.
    std::optional<MessagingConfig> requestMessagingConfig(
        const std::string& appId, const BackendMessage& message) const noexcept override;

private:
    // Throws when the request cannot be built.
    std::unique_ptr<RequestProtocol> makeRequest(const std::string& path, const std::string& appId,
                                                 const BackendMessage& message,
                                                 const std::optional<std::string>& requestIdentifier) const;

    std::shared_ptr<const NetworkProtocol> network_;
    std::shared_ptr<const ContentFactoryProtocol> contentFactory_;
    std::shared_ptr<const host::ClockProtocol> clock_;
};

}  // namespace zqb
