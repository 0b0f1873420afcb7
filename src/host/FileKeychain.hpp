#pragma once

#include "host/StoredKeychain.hpp"

#include <filesystem>
#include <mutex>

namespace zqb::host {

// The Linux keychain: one JSON file of the user's, mode 0600, in a directory of mode 0700 under the user's
// data directory. It lies outside every application's data folder, so identifiers survive the removal of
// that folder. Every operation reads the file afresh under an exclusive file lock and writes a change as a
// new file renamed over the old one: other processes of the same user see each other's items, a crash or a
// full disk leaves the previous file intact, and a failed write answers `ioError` without losing an item.
class FileKeychain final : public StoredKeychain {
public:
    explicit FileKeychain(std::filesystem::path file = defaultPath());

    // <user data directory>/vorantel-keychain/keychain.json; empty without a user data directory.
    static std::filesystem::path defaultPath();

    const std::filesystem::path& path() const { return file_; }
    std::string description() const override {
        return file_.empty() ? "The keychain (there is no user data directory for its file)"
                             : "The keychain file " + file_.string();
    }

protected:
    int32_t transact(const Change& change) override;

private:
    struct Contents;
    enum class LoadResult { ok, missing, unparsable, failed };
    LoadResult load(Contents& contents) const;
    bool save(const Contents& contents) const;
    void moveAsideUnparsable() const;

    const std::filesystem::path file_;
    std::mutex mutex_;
};

}  // namespace zqb::host
