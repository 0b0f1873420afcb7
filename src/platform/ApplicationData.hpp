#pragma once

#include <cstdint>
#include <string>

namespace zqb {

// Facts of the host application; built once per platform facade.
struct ApplicationData {
    std::string applicationVersion;
    std::string applicationBuildVersion;
    std::string applicationBundle;
    // 0: no provisioning profile; 1: simulator or a profile that allows debugging; 2: any other profile.
    int64_t sandboxState = 0;

    bool operator==(const ApplicationData&) const = default;
};

}  // namespace zqb
