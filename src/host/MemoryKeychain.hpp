#pragma once

#include "host/StoredKeychain.hpp"

#include <mutex>
#include <vector>

namespace zqb::host {

// A keychain held in memory: the stand-in for tests, and for hosts that want no identifiers on disk.
// `setFailWrites(true)` makes every change fail with `ioError`, as a full or read-only disk would.
class MemoryKeychain final : public StoredKeychain {
public:
    std::vector<KeychainItem> items() const;
    void setItems(std::vector<KeychainItem> items);
    void setFailWrites(bool fail);
    std::string description() const override { return "The keychain in memory"; }

protected:
    int32_t transact(const Change& change) override;

private:
    mutable std::mutex mutex_;
    std::vector<KeychainItem> items_;
    bool failWrites_ = false;
};

}  // namespace zqb::host
