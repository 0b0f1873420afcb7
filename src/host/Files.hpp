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
// never share one folder. A host may set the directory itself.
class Files final : public FilesProtocol {
public:
    explicit Files(std::function<std::string()> bundleIdentifier);
    std::filesystem::path applicationSupportDirectory() const override;
    void setApplicationSupportDirectory(std::optional<std::filesystem::path> directory);

    // The user's data directory: $XDG_DATA_HOME, else $HOME/.local/share, else the temporary directory.
    static std::filesystem::path userDataDirectory();

private:
    std::function<std::string()> bundleIdentifier_;
    mutable std::mutex mutex_;
    std::optional<std::filesystem::path> override_;
};

}  // namespace zqb::host
