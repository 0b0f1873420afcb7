#pragma once

#include "platform/SDKRepository.hpp"
#include "platform/SdkData.hpp"

#include <memory>
#include <mutex>
#include <optional>

namespace zqb {

class SDKGatewayProtocol {
public:
    virtual ~SDKGatewayProtocol() = default;
    virtual SdkData sdkData() = 0;
};

// Builds the library's record on first read and hands out the same record afterwards.
class SDKGateway final : public SDKGatewayProtocol {
public:
    explicit SDKGateway(std::shared_ptr<SDKRepositoryProtocol> sdkRepository);
    SdkData sdkData() override;

private:
    std::shared_ptr<SDKRepositoryProtocol> sdkRepository_;
    std::mutex mutex_;
    std::optional<SdkData> sdkData_;
};

}  // namespace zqb
