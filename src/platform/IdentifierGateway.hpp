#pragma once

#include "platform/IdentifierInfoRepository.hpp"

#include <memory>
#include <mutex>
#include <optional>

namespace zqb {

class IdentifierGatewayProtocol {
public:
    virtual ~IdentifierGatewayProtocol() = default;
    virtual IdentifierData identifierData() = 0;
    virtual void setIdentifierData(IdentifierData data) = 0;
    // From here on the advertising identifier is not allowed, whatever the user answered: the record, built
    // already or not, has no advertising identifier, and the device ids are gathered again without it.
    virtual void withdrawAdvertisingIdentifier() = 0;
};

// Builds the identifier record on first read and hands out the same record afterwards. The first read
// touches the keychain; later reads do not, so a change made meanwhile is seen only by a new gateway. The
// advertising identifier is used only while the user allows tracking (the answer is read once, when the
// record is built) and the library has not withdrawn it.
class IdentifierGateway final : public IdentifierGatewayProtocol {
public:
    explicit IdentifierGateway(std::shared_ptr<IdentifierInfoRepositoryProtocol> identifierInfoRepository);

    // Safe from any thread: the report and messaging queues read it too.
    IdentifierData identifierData() override;
    void setIdentifierData(IdentifierData data) override;
    void withdrawAdvertisingIdentifier() override;

private:
    std::shared_ptr<IdentifierInfoRepositoryProtocol> identifierInfoRepository_;
    std::mutex mutex_;
    std::optional<IdentifierData> identifierData_;
    bool withdrawn_ = false;
};

}  // namespace zqb
