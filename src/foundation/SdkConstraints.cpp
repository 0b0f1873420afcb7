#include "foundation/SdkConstraints.hpp"

#include <mutex>
#include <utility>

namespace zqb {

namespace {

struct VersionSlot {
    std::mutex mutex;
    std::string version = SdkConstraints::defaultSdkVersion;
};

VersionSlot& slot() {
    // Never destroyed: queues may still build requests while the process exits.
    static VersionSlot* instance = new VersionSlot();
    return *instance;
}

}  // namespace

std::string SdkConstraints::sdkVersion() {
    auto& current = slot();
    std::lock_guard lock(current.mutex);
    return current.version;
}

void SdkConstraints::setSdkVersion(std::string version) {
    auto& current = slot();
    std::lock_guard lock(current.mutex);
    current.version = std::move(version);
}

}  // namespace zqb
