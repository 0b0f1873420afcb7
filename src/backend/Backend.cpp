#include "backend/Backend.hpp"

namespace zqb {

Backend::Backend(std::shared_ptr<const BackendRepositoryProtocol> repository)
    : repository_(std::move(repository)) {}

ConfigRequestResult Backend::requestConfig(const std::string& appID, const Identifiers& identifiers,
                                           const Versions& versions) const noexcept {
    return repository_->requestConfig(appID, BackendMessage{versions, identifiers});
}

BackendIdentifiers Backend::requestIdentification(const std::string& appID, int64_t attempt,
                                                  const Identifiers& identifiers) const noexcept {
    return repository_->requestIdentification(
        appID, BackendMessage{BackendIdentifiers::Attempt{attempt}, identifiers});
}

SendAnalyticsResult Backend::sendAnalytics(const std::string& appID, const Identifiers& identifiers,
                                           const Reports& reports) const noexcept {
    return repository_->sendAnalytics(appID, BackendMessage{reports, identifiers},
                                      requestIdentifier(reports));
}

ZQBVerifyResponse Backend::sendVerifyReceipt(const std::string& appID, const Receipt& receipt,
                                             const Identifiers& identifiers) const noexcept {
    return repository_->sendVerifyReceipt(appID, BackendMessage{receipt, identifiers});
}

std::optional<MessagingConfig> Backend::requestMessagingConfig(
    const std::string& appID, const MessagingRequestObject& request,
    const Identifiers& identifiers) const noexcept {
    return repository_->requestMessagingConfig(appID, BackendMessage{request, identifiers});
}

std::string Backend::requestIdentifier(const Reports& reports) {
    std::string text;
    bool first = true;
    for (const auto& report : reports.reports) {
        if (!report) {
            continue;
        }
        if (!first) {
            text += ", ";
        }
        first = false;
        text += report->uuid;
    }
    return text;
}

}  // namespace zqb
