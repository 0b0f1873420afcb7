#pragma once

#include "backend/BackendRepository.hpp"
#include "backend/MessagingRequestObject.hpp"
#include "backend/Receipt.hpp"
#include "backend/Versions.hpp"
#include "model/Reports.hpp"

#include <memory>
#include <optional>
#include <string>

namespace zqb {

// Every call turns each failure into its result value and never throws.
class BackendProtocol {
public:
    virtual ~BackendProtocol() = default;

    virtual ConfigRequestResult requestConfig(const std::string& appID, const Identifiers& identifiers,
                                              const Versions& versions) const noexcept = 0;
    virtual BackendIdentifiers requestIdentification(const std::string& appID, int64_t attempt,
                                                     const Identifiers& identifiers) const noexcept = 0;
    virtual SendAnalyticsResult sendAnalytics(const std::string& appID, const Identifiers& identifiers,
                                              const Reports& reports) const noexcept = 0;
    virtual ZQBVerifyResponse sendVerifyReceipt(const std::string& appID, const Receipt& receipt,
                                                const Identifiers& identifiers) const noexcept = 0;
    virtual std::optional<MessagingConfig> requestMessagingConfig(
        const std::string& appID, const MessagingRequestObject& request,
        const Identifiers& identifiers) const noexcept = 0;
};

// What the services hold: wraps their arguments into a backend message (the body and the identifiers for
// the headers) and calls the repository. Every call blocks the calling queue for one HTTP exchange (at
// most the idle time-out without progress) and never throws.
class Backend final : public BackendProtocol {
public:
    explicit Backend(std::shared_ptr<const BackendRepositoryProtocol> repository);

    ConfigRequestResult requestConfig(const std::string& appID, const Identifiers& identifiers,
                                      const Versions& versions) const noexcept override;
    BackendIdentifiers requestIdentification(const std::string& appID, int64_t attempt,
                                             const Identifiers& identifiers) const noexcept override;
    SendAnalyticsResult sendAnalytics(const std::string& appID, const Identifiers& identifiers,
                                      const Reports& reports) const noexcept override;
    ZQBVerifyResponse sendVerifyReceipt(const std::string& appID, const Receipt& receipt,
                                        const Identifiers& identifiers) const noexcept override;
    std::optional<MessagingConfig> requestMessagingConfig(
        const std::string& appID, const MessagingRequestObject& request,
        const Identifiers& identifiers) const noexcept override;

    // The request identifier of a report upload: the reports' uuids in order, joined with ", ".
    static std::string requestIdentifier(const Reports& reports);

    const std::shared_ptr<const BackendRepositoryProtocol>& repository() const { return repository_; }

private:
    std::shared_ptr<const BackendRepositoryProtocol> repository_;
};

}  // namespace zqb
