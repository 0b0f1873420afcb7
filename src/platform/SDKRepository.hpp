#pragma once

#include "platform/SDKCollector.hpp"

#include <memory>

namespace zqb {

class SDKRepositoryProtocol {
public:
    virtual ~SDKRepositoryProtocol() = default;
    virtual std::string sdkVersion() const = 0;
    virtual int64_t sdkCodeVersion() const = 0;
};

class SDKRepository final : public SDKRepositoryProtocol {
public:
    explicit SDKRepository(std::shared_ptr<SDKCollectorProtocol> collector)
        : collector_(std::move(collector)) {}

    std::string sdkVersion() const override { return collector_->sdkVersion(); }
    int64_t sdkCodeVersion() const override { return collector_->sdkCodeVersion(); }

private:
    std::shared_ptr<SDKCollectorProtocol> collector_;
};

}  // namespace zqb
