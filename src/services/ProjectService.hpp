#pragma once

#include "backend/Config.hpp"
#include "repositories/ProjectRepository.hpp"
#include "repositories/RealPaymentRepository.hpp"
#include "services/ProjectServiceProtocol.hpp"
#include "services/StateManagerProtocol.hpp"

#include <memory>

namespace zqb {

class ProjectService final : public ProjectServiceProtocol {
public:
    ProjectService(std::shared_ptr<StateManagerProtocol> stateManager,
                   std::shared_ptr<ProjectRepository> projectRepository,
                   std::shared_ptr<RealPaymentRepository> realPaymentRepository,
                   std::shared_ptr<const host::ClockProtocol> clock);

    void setTrackingAvailable(bool value) override;
    bool getTrackingAvailable() override;
    bool userCounting() override;
    bool isRefererSent() override;
    void setIsRefererSent(bool value) override;
    int64_t paramsCount() override;
    bool isCurrencyPaymentMarked(const std::string& orderId) override;
    void markCurrencyPayment(const std::string& orderId) override;
    ApplicationData getAppData() override;
    SdkData getSdkData() override;
    std::optional<DeviceInfo> getDeviceInfo(int64_t timestamp) override;
    std::shared_ptr<DeviceIdentifiers> getDeviceIdentifiers() override;
    // The exclusion block stays when the received one has the same version; the subscription bundles stay
    // when the received subscription settings version equals the stored one (both absent counts as equal);
    // everything else is taken from the received configuration.
    void applyConfig(const Config& config) override;
    bool checkIfNeedRemoveUsersData(const Config& config) override;

    // The stored configuration after merging `received` into it by the rules of `applyConfig`.
    static Config merged(const Config& stored, const Config& received);

private:
    const Config& activeConfig();

    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<ProjectRepository> projectRepository_;
    std::shared_ptr<RealPaymentRepository> realPaymentRepository_;
    const std::shared_ptr<const host::ClockProtocol> clock_;
};

}  // namespace zqb
