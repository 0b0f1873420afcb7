#pragma once

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
    std::string sdkVersion() const override { return "2.1.2"; }
    int64_t sdkCodeVersion() const override { return 10; }
};

}  // namespace zqb
