#pragma once

#include "host/Keychain.hpp"

#include <functional>
#include <vector>

namespace zqb::host {

// The rules of the generic-password store over a list of items; subclasses decide where the list lives.
class StoredKeychain : public KeychainProtocol {
public:
    int32_t add(const KeychainQuery& query) override;
    // One change of the items: one file written, where the items live in a file.
    int32_t write(const std::vector<KeychainWrite>& writes) override;
    int32_t copyMatching(const KeychainQuery& query, std::optional<std::string>& result) override;
    int32_t update(const KeychainQuery& query, const std::string& value,
                   KeychainAccessibility accessible) override;
    int32_t remove(const KeychainQuery& query) override;

    static bool matches(const KeychainItem& item, const KeychainQuery& query);

protected:
    // Works on the items; sets `changed` when they must be stored.
    using Change = std::function<int32_t(std::vector<KeychainItem>& items, bool& changed)>;
    // Runs `change` over the current items, one change at a time. When it reports success and a change, the
    // new items are stored; when storing fails, the previous items stay and the answer is `ioError`.
    virtual int32_t transact(const Change& change) = 0;
};

}  // namespace zqb::host
