#pragma once

#include <cstdint>
#include <string>

namespace zqb {

// The library version reported to the gateway. An engine plug-in may replace the text at any time from its
// own thread while the library's queues read it, so it is kept behind a lock.
class SdkConstraints {
public:
    SdkConstraints() = delete;

    static constexpr const char* defaultSdkVersion = "2.1.2";
    static constexpr int64_t sdkCodeVersion = 10;

    static std::string sdkVersion();
    static void setSdkVersion(std::string version);
};

}  // namespace zqb
