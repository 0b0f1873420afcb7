#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>

namespace zqb::host {

// Where the application keeps its support files. The library puts its data folder below it.
class FilesProtocol {
public:
    virtual ~FilesProtocol() = default;
    virtual std::filesystem::path applicationSupportDirectory() const = 0;
};

// Linux default: $XDG_DATA_HOME (or ~/.local/share), then the bundle identifier, so that two applications
// never share one folder. A host may set the directory itself. Empty when there is no user data directory.
class Files final : public FilesProtocol {
public:
    explicit Files(std::function<std::string()> bundleIdentifier);
    std::filesystem::path applicationSupportDirectory() const override;
    void setApplicationSupportDirectory(std::optional<std::filesystem::path> directory);

    // The user's data directory: $XDG_DATA_HOME, else $HOME/.local/share, else `fallbackDataDirectory()`.
    // Variables that are not absolute paths, and a HOME that is no folder, are not used.
    static std::filesystem::path userDataDirectory();

    // "vorantel-<user id>" in the temporary directory, created private and used only while it is a folder
    // of this user's (empty otherwise). The folder, or why it cannot serve, is logged once.
    static std::filesystem::path fallbackDataDirectory();

private:
    std::function<std::string()> bundleIdentifier_;
    mutable std::mutex mutex_;
    std::optional<std::filesystem::path> override_;
};

}  // namespace zqb::host
