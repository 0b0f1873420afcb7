#include "host/MemoryKeychain.hpp"

namespace zqb::host {

std::vector<KeychainItem> MemoryKeychain::items() const {
    std::lock_guard lock(mutex_);
    return items_;
}

void MemoryKeychain::setItems(std::vector<KeychainItem> items) {
    std::lock_guard lock(mutex_);
    items_ = std::move(items);
}

void MemoryKeychain::setFailWrites(bool fail) {
    std::lock_guard lock(mutex_);
    failWrites_ = fail;
}

int32_t MemoryKeychain::transact(const Change& change) {
    std::lock_guard lock(mutex_);
    std::vector<KeychainItem> working = items_;
    bool changed = false;
    const int32_t status = change(working, changed);
    if (status != keychain_status::success || !changed) {
        return status;
    }
    if (failWrites_) {
        return keychain_status::ioError;
    }
    items_ = std::move(working);
    return status;
}

}  // namespace zqb::host
