#include "host/Files.hpp"

#include <cstdlib>

namespace zqb::host {

Files::Files(std::function<std::string()> bundleIdentifier)
    : bundleIdentifier_(std::move(bundleIdentifier)) {}

std::filesystem::path Files::applicationSupportDirectory() const {
    {
        std::lock_guard lock(mutex_);
        if (override_) {
            return *override_;
        }
    }
    std::string identifier = bundleIdentifier_ ? bundleIdentifier_() : std::string();
    // The identifier names one folder; anything that would climb out of the data directory, or that the
    // system would cut short (a NUL byte), is replaced.
    if (identifier.empty() || identifier == "." || identifier == ".." ||
        identifier.find('/') != std::string::npos || identifier.find('\0') != std::string::npos) {
        identifier = "application";
    }
    return userDataDirectory() / identifier;
}

void Files::setApplicationSupportDirectory(std::optional<std::filesystem::path> directory) {
    std::lock_guard lock(mutex_);
    override_ = std::move(directory);
}

std::filesystem::path Files::userDataDirectory() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        return std::filesystem::path(xdg);
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return std::filesystem::path(home) / ".local" / "share";
    }
    return std::filesystem::temp_directory_path();
}

}  // namespace zqb::host
