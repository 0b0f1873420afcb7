#pragma once

#include "foundation/SdkConstraints.hpp"

#include <cstdint>
#include <string>

namespace zqb {

class SDKCollectorProtocol {
public:
    virtual ~SDKCollectorProtocol() = default;
    virtual std::string sdkVersion() const = 0;
    virtual int64_t sdkCodeVersion() const = 0;
};

// The library's own version as it was built. Requests and packages carry the version in force instead,
// which the engine wrapper may replace.
class SDKCollector final : public SDKCollectorProtocol {
public:
    std::string sdkVersion() const override { return SdkConstraints::defaultSdkVersion; }
    int64_t sdkCodeVersion() const override { return SdkConstraints::sdkCodeVersion; }
};

}  // namespace zqb
