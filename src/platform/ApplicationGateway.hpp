#pragma once

#include "platform/ApplicationData.hpp"
#include "platform/ApplicationInfoRepository.hpp"

#include <memory>
#include <mutex>
#include <optional>

namespace zqb {

class ApplicationGatewayProtocol {
public:
    virtual ~ApplicationGatewayProtocol() = default;
    virtual ApplicationData applicationData() = 0;
    virtual void setApplicationData(ApplicationData data) = 0;
};

// Builds the application record on first read (from any thread) and hands out the same record afterwards.
class ApplicationGateway final : public ApplicationGatewayProtocol {
public:
    explicit ApplicationGateway(std::shared_ptr<ApplicationInfoRepositoryProtocol> applicationRepository);

    ApplicationData applicationData() override;
    void setApplicationData(ApplicationData data) override;

private:
    std::shared_ptr<ApplicationInfoRepositoryProtocol> appRepository_;
    std::mutex mutex_;
    std::optional<ApplicationData> applicationData_;
};

}  // namespace zqb
