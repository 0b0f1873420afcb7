#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace zqb::host {

// Facts of the host application's bundle.
struct BundleInfo {
    std::string name;        // display name of the application
    std::string identifier;  // reverse-DNS identifier, also the name of the application's data folder
    std::string version;     // short version string
    std::string build;       // build number
};

class BundleProtocol {
public:
    virtual ~BundleProtocol() = default;
    virtual BundleInfo info() const = 0;
    // The file of a resource shipped with the application (`name`.`type`); a Linux host ships none.
    virtual std::optional<std::filesystem::path> pathForResource(const std::string& /*name*/,
                                                                 const std::string& /*type*/) const {
        return std::nullopt;
    }
    // Where the application's purchase receipt is kept; nothing when the application has no such place.
    virtual std::optional<std::filesystem::path> appStoreReceiptPath() const { return std::nullopt; }
};

// Linux default: what the host set, else the executable's name as name and identifier, empty versions and no
// receipt location.
class Bundle final : public BundleProtocol {
public:
    Bundle();
    explicit Bundle(BundleInfo info) : info_(std::move(info)) {}
    BundleInfo info() const override;
    void setInfo(BundleInfo info);
    std::optional<std::filesystem::path> appStoreReceiptPath() const override;
    void setAppStoreReceiptPath(std::optional<std::filesystem::path> path);

    static std::string executableName();

private:
    mutable std::mutex mutex_;
    BundleInfo info_;
    std::optional<std::filesystem::path> receiptPath_;
};

}  // namespace zqb::host
