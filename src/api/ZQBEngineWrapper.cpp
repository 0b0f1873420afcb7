#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBEngineWrapper.hpp>

#include "core/AnalyticsProxy.hpp"
#include "core/Core.hpp"
#include "foundation/Logger.hpp"
#include "foundation/SdkConstraints.hpp"
#include "foundation/TextUtils.hpp"

#include <utility>

using zqb::text::repairUtf8;

ZQBEngineWrapper::LogClosure ZQBEngineWrapper::engineLoggerMessageClosure() {
    return zqb::Logger::engineLoggerMessageClosure();
}

void ZQBEngineWrapper::setEngineLoggerMessageClosure(LogClosure closure) {
    zqb::Logger::setEngineLoggerMessageClosure(std::move(closure));
}

void ZQBEngineWrapper::destroySDK() {
    zqb::Core::destroy();
}

void ZQBEngineWrapper::setSDKVersion(std::string_view version) {
    // Repaired here: the version is written into every request body, and JSON text must be valid UTF-8.
    zqb::SdkConstraints::setSdkVersion(repairUtf8(version));
}

void ZQBEngineWrapper::enableEditorMode() {
    zqb::Core::shared()->enableEditorMode();
}

std::string ZQBEngineWrapper::unitySdkFolderPath() {
    return ZQBAnalytics::sdkFolderPath();
}

void ZQBEngineWrapper::testString(std::string_view value) {
    zqb::Logger::writeLog(ZQBLogLevel::debug, "[EngineWrapper] Test string:\n\tOrigin: [" +
                                                  repairUtf8(value) + "]\n\tBase64: [" +
                                                  zqb::text::base64Encode(value) + "]");
}

void ZQBEngineWrapper::engineSubscriptionHistory(const SubscriptionHistory& history) {
    zqb::AnalyticsProtocol::SubscriptionHistory copy;
    for (const auto& [productId, transactionIds] : history) {
        // Product ids that differ only in their invalid bytes become one, and keep the ids of both.
        auto& ids = copy[repairUtf8(productId)];
        for (const auto& transactionId : transactionIds) {
            ids.push_back(repairUtf8(transactionId));
        }
    }
    zqb::Core::shared()->analyticsProxy()->subscriptionHistory(std::move(copy));
}

void ZQBEngineWrapper::engineSubscriprtionPayment(std::string_view productId,
                                                  std::string_view transactionId) {
    zqb::Core::shared()->analyticsProxy()->subscriptionPayment(repairUtf8(productId),
                                                               repairUtf8(transactionId));
}
