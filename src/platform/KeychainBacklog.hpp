#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zqb {

// Keychain items the keychain refused, kept in a file of the library's data folder so that a later launch
// still writes them: the installation's own id would otherwise be made anew, and differ from the one the
// database already holds.
class KeychainBacklog {
public:
    // Account and value; an item without a value is one to delete.
    using Items = std::vector<std::pair<std::string, std::optional<std::string>>>;

    // An empty path keeps nothing.
    explicit KeychainBacklog(std::filesystem::path file) : file_(std::move(file)) {}

    // The kept items; none when there is no file or it cannot be read.
    Items load() const;
    // Replaces the kept items; false when the file cannot be written (its folder is missing, for one).
    bool keep(const Items& items) const;
    void clear() const;

    const std::filesystem::path& path() const { return file_; }

private:
    const std::filesystem::path file_;
};

}  // namespace zqb
