#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zqb::host {

// The main screen: its size in points, the points-to-pixels scale, and its native size in pixels.
struct ScreenInfo {
    double widthPoints = 0;
    double heightPoints = 0;
    double scale = 1;
    double nativeWidthPixels = 0;
    double nativeHeightPixels = 0;

    bool operator==(const ScreenInfo&) const = default;
};

// Facts of the device, its system, locale and screen.
class DeviceProtocol {
public:
    virtual ~DeviceProtocol() = default;
    virtual std::string systemName() const = 0;
    virtual std::string systemVersion() const = 0;
    // Who made the hardware.
    virtual std::string manufacturer() const = 0;
    // The hardware's machine identifier as the kernel names it.
    virtual std::string machine() const = 0;
    // The user's preferred languages, most preferred first, as language tags ("pt-BR").
    virtual std::vector<std::string> preferredLanguages() const = 0;
    // The region of the current locale ("BR"), absent when the locale names none.
    virtual std::optional<std::string> regionCode() const = 0;
    // Seconds east of GMT of the current time zone at the given moment.
    virtual int64_t secondsFromGMT(double secondsSince1970) const = 0;
    virtual std::optional<ScreenInfo> screen() const = 0;
    // An identifier of this device for the host application, the same at every launch.
    virtual std::optional<std::string> identifierForVendor() const = 0;
};

// Linux default. System name and version come from /etc/os-release (NAME, VERSION_ID), else from `uname`;
// the maker from the firmware's vendor entry (/sys/class/dmi/id/sys_vendor), else "unknown"; the machine from
// `uname`; language and region from LC_ALL, else LANG; the offset from the C library's time
// zone. A screen is known only when the host sets one. The vendor identifier is a random UUID made once per
// bundle identifier and kept beside the keychain file, outside the application's data folder.
class Device final : public DeviceProtocol {
public:
    // The vendor identifier is kept per `bundleIdentifier`, asked at each call. Without `vendorIdFile`, the
    // file is found at the first identifier asked for: a device made before the host installed its log
    // closure still has the folder's messages reach it.
    explicit Device(std::function<std::string()> bundleIdentifier,
                    std::optional<std::filesystem::path> vendorIdFile = std::nullopt);

    std::string systemName() const override;
    std::string systemVersion() const override;
    std::string manufacturer() const override;
    std::string machine() const override;
    std::vector<std::string> preferredLanguages() const override;
    std::optional<std::string> regionCode() const override;
    int64_t secondsFromGMT(double secondsSince1970) const override;
    std::optional<ScreenInfo> screen() const override;
    std::optional<std::string> identifierForVendor() const override;

    void setScreen(std::optional<ScreenInfo> screen);

    // <user data directory>/vorantel-keychain/vendor-ids.json; empty without a user data directory.
    static std::filesystem::path defaultVendorIdPath();

    struct Locale {
        std::string language;  // lower case, e.g. "pt"
        std::string region;    // upper case or three digits, e.g. "BR"; empty when absent
    };
    // Parses a POSIX locale name such as "pt_BR.UTF-8@euro"; "C", "POSIX" and malformed names give nothing.
    static std::optional<Locale> parseLocale(std::string_view name);
    // The value of `key` in the text of an os-release file, unquoted; absent when the key is missing.
    static std::optional<std::string> osReleaseValue(std::string_view text, std::string_view key);

private:
    static std::optional<Locale> currentLocale();
    // The value of `key` in the system's os-release file, unquoted; absent when missing or empty.
    std::optional<std::string> readOsRelease(std::string_view key) const;
    static std::string loadOrCreateVendorId(const std::filesystem::path& vendorIdFile,
                                            const std::string& bundleIdentifier);

    const std::function<std::string()> bundleIdentifier_;
    mutable std::optional<std::filesystem::path> vendorIdFile_;
    mutable std::mutex mutex_;
    mutable std::once_flag osReleaseRead_;
    mutable std::optional<std::string> osRelease_;  // the file's text; absent when none could be read
    std::optional<ScreenInfo> screen_;
    mutable std::map<std::string, std::string> vendorIds_;
};

}  // namespace zqb::host
