#include "backend/BackendRepository.hpp"

#include "backend/ReceiptResult.hpp"
#include "backend/VerifyResponseFactory.hpp"
#include "backend/WireReader.hpp"
#include "foundation/Logger.hpp"
#include "network/BackendConfigUrl.hpp"

namespace zqb {
namespace {

constexpr const char* kConfigPath = "/analytics/config";
constexpr const char* kIdentificationPath = "/analytics/identification";
constexpr const char* kReportPath = "/analytics/report";
constexpr const char* kVerifyPath = "/verify/payment";
constexpr const char* kMessagingPath = "/messaging/config";

// The short text of an error, as messages show it.
std::string localizedDescription(const std::exception& error) {
    if (const auto* decoding = dynamic_cast<const WireDecodingError*>(&error)) {
        return decoding->localizedDescription();
    }
    return error.what();
}

// An answer without a body reads like an empty one: as no JSON at all.
nlohmann::ordered_json parseBody(const Response& response) {
    return WireReader::parse(response.data ? std::string_view(*response.data) : std::string_view());
}

}  // namespace

BackendRepository::BackendRepository(std::shared_ptr<const NetworkProtocol> network,
                                     std::shared_ptr<const ContentFactoryProtocol> contentFactory,
                                     std::shared_ptr<const host::ClockProtocol> clock)
    : network_(std::move(network)), contentFactory_(std::move(contentFactory)), clock_(std::move(clock)) {}

std::unique_ptr<RequestProtocol> BackendRepository::makeRequest(
    const std::string& path, const std::string& appId, const BackendMessage& message,
    const std::optional<std::string>& requestIdentifier) const {
    if (!network_ || !contentFactory_) {
        throw ZQBError("[Backend Module] the backend has no network");
    }
    auto builder = network_->post(BackendConfigUrl::baseApiUrl() + "/v2" + path);
    builder->urlBuilder().setQueryParam("appId", appId);
    builder->setRequestContent(std::make_shared<JSONContent>(contentFactory_->createContent(message)));
    if (requestIdentifier) {
        builder->setRequestIdentifier(requestIdentifier);
    }
    return builder->build();
}

ConfigRequestResult BackendRepository::requestConfig(const std::string& appId,
                                                     const BackendMessage& message) const noexcept {
    const auto fallback = [this] { return ConfigRequestResult{Config::defaulConfiguration(*clock_), true}; };
    try {
        const auto request = makeRequest(kConfigPath, appId, message, std::nullopt);
        const Response response = request->send();
        if (response.statusCode != 200 || !response.data) {
            ConfigRequestResult result = fallback();
            result.withoutAnswer = response.withoutAnswer;
            return result;
        }
        return ConfigRequestResult{Config::decode(*response.data), false};
    } catch (const std::exception& error) {
        Logger::writeLog(ZQBLogLevel::error, "[Backend Module] Can't create a config request. Error: " +
                                                 localizedDescription(error));
        return fallback();
    }
}

BackendIdentifiers BackendRepository::requestIdentification(const std::string& appId,
                                                            const BackendMessage& message) const noexcept {
    Response response;
    try {
        response = makeRequest(kIdentificationPath, appId, message, std::nullopt)->send();
    } catch (const std::exception& error) {
        return BackendIdentifiers::error(
            "[Backend Module] Can't build the backend identifiers request. Error: " +
            localizedDescription(error));
    }
    switch (response.statusCode) {
        case 422:
            return BackendIdentifiers::doNotRetry();
        case 202:
            try {
                return BackendIdentifiers::retryAfter(
                    BackendIdentifiers::RetryAfter::fromJson(parseBody(response)).retryAfter);
            } catch (const std::exception& error) {
                return BackendIdentifiers::error(
                    std::string("[Backend Module] parse retry parametr. Error:  ") + error.what());
            }
        case 200:
            try {
                return BackendIdentifiers::identifiers(
                    BackendIdentifiers::Identifiers::fromJson(parseBody(response)));
            } catch (const std::exception& error) {
                return BackendIdentifiers::error(std::string("[Backend Module] parse identifiers. Error:  ") +
                                                 error.what());
            }
        default:
            return BackendIdentifiers::error("[Backend Module] identifiers, unknown status code " +
                                             response.statusText());
    }
}

SendAnalyticsResult BackendRepository::sendAnalytics(
    const std::string& appId, const BackendMessage& message,
    const std::optional<std::string>& requestIdentifier) const noexcept {
    std::unique_ptr<RequestProtocol> request;
    try {
        request = makeRequest(kReportPath, appId, message, requestIdentifier);
    } catch (const std::exception& error) {
        const std::string text = localizedDescription(error);
        Logger::writeLog(ZQBLogLevel::error,
                         "[Backend Module] Can't create a send report request. Error: " + text);
        return SendAnalyticsResult::failure(ZQBError(text));
    }
    const Response response = request->send();
    if (response.statusCode == 200) {
        return SendAnalyticsResult::success();
    }
    return SendAnalyticsResult::failure(
        ZQBError("[Backend Module] Failed to send Report, status code: " + response.statusText()));
}

ZQBVerifyResponse BackendRepository::sendVerifyReceipt(const std::string& appId,
                                                       const BackendMessage& message) const noexcept {
    const auto cannotCreate = [](const std::exception& error) {
        Logger::writeLog(ZQBLogLevel::error,
                         "[Backend Module] Can't create a request for receipt verification. Error: " +
                             localizedDescription(error));
        return VerifyResponseFactory::make(ZQBReceiptStatus::internalError);
    };
    Response response;
    try {
        response = makeRequest(kVerifyPath, appId, message, std::nullopt)->send();
    } catch (const std::exception& error) {
        return cannotCreate(error);
    }
    if (response.statusCode != 200) {
        Logger::writeLog(ZQBLogLevel::error,
                         "[Backend Module] Failed to send a receipt, status code: " + response.statusText());
        return VerifyResponseFactory::make(ZQBReceiptStatus::serverError);
    }
    ReceiptResult result;
    try {
        result = ReceiptResult::fromJson(parseBody(response));
    } catch (const std::exception& error) {
        return cannotCreate(error);
    }
    const std::optional<ZQBReceiptStatus> status =
        result.status ? ZQBReceiptStatusFromRawValue(*result.status) : std::nullopt;
    if (!status) {
        Logger::writeLog(ZQBLogLevel::error, "[Backend Module] Can't parse verification data");
        return VerifyResponseFactory::make(ZQBReceiptStatus::internalError,
                                           std::move(result.verificationResult));
    }
    ZQBVerifyResponse verified = VerifyResponseFactory::make(*status, std::move(result.verificationResult));
    Logger::writeLog(ZQBLogLevel::info,
                     "[Backend Module] Receipt verification result: \n\t" + verified.description());
    return verified;
}

std::optional<MessagingConfig> BackendRepository::requestMessagingConfig(
    const std::string& appId, const BackendMessage& message) const noexcept {
    Response response;
    try {
        response = makeRequest(kMessagingPath, appId, message, std::nullopt)->send();
    } catch (const std::exception& error) {
        Logger::writeLog(
            ZQBLogLevel::error,
            "[Backend Module] Can't create messaging config request. Error: " + localizedDescription(error));
        return std::nullopt;
    }
    if (response.withoutAnswer) {
        Logger::writeLog(ZQBLogLevel::debug, "[Backend Module] Failed to get push categories, status code: " +
                                                 response.statusText());
    }
    if (!response.data) {
        return std::nullopt;
    }
    try {
        return MessagingConfig::fromAnswer(parseBody(response));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace zqb
