#pragma once

#include <cstdint>
#include <string>

namespace zqb {

struct SdkData {
    std::string sdkVersion;
    int64_t sdkCodeVersion = 0;

    bool operator==(const SdkData&) const = default;
};

}  // namespace zqb
