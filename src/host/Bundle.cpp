#include "host/Bundle.hpp"

#include <filesystem>
#include <system_error>

namespace zqb::host {

Bundle::Bundle() {
    const std::string executable = executableName();
    info_.name = executable;
    info_.identifier = executable;
}

BundleInfo Bundle::info() const {
    std::lock_guard lock(mutex_);
    return info_;
}

void Bundle::setInfo(BundleInfo info) {
    std::lock_guard lock(mutex_);
    info_ = std::move(info);
}

std::optional<std::filesystem::path> Bundle::appStoreReceiptPath() const {
    std::lock_guard lock(mutex_);
    return receiptPath_;
}

void Bundle::setAppStoreReceiptPath(std::optional<std::filesystem::path> path) {
    std::lock_guard lock(mutex_);
    receiptPath_ = std::move(path);
}

std::string Bundle::executableName() {
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || path.filename().empty()) {
        return "application";
    }
    return path.filename().string();
}

}  // namespace zqb::host
