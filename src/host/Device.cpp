#include "host/Device.hpp"

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "host/AtomicFile.hpp"
#include "host/FileLock.hpp"
#include "host/Files.hpp"

#include <nlohmann/json.hpp>

#include <sys/utsname.h>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace zqb::host {

namespace {

struct Uname {
    std::string sysname;
    std::string release;
    std::string machine;
};

Uname readUname() {
    struct utsname names {};
    if (::uname(&names) != 0) {
        return {};
    }
    return {names.sysname, names.release, names.machine};
}

std::optional<std::string> readOsReleaseFile() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::string text;
        if (AtomicFile::read(path, text) == AtomicFile::ReadStatus::ok) {
            return text;
        }
    }
    return std::nullopt;
}

bool isUuidText(const std::string& text) {
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : std::isxdigit(static_cast<unsigned char>(text[i])) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

Device::Device(std::function<std::string()> bundleIdentifier,
               std::optional<std::filesystem::path> vendorIdFile)
    : bundleIdentifier_(std::move(bundleIdentifier)), vendorIdFile_(std::move(vendorIdFile)) {}

std::filesystem::path Device::defaultVendorIdPath() {
    const std::filesystem::path userData = Files::userDataDirectory();
    return userData.empty() ? userData : userData / kKeychainFolderName / "vendor-ids.json";
}

std::optional<std::string> Device::readOsRelease(std::string_view key) const {
    // Read once: the system's name and version do not change while the process runs.
    std::call_once(osReleaseRead_, [this] { osRelease_ = readOsReleaseFile(); });
    if (!osRelease_) {
        return std::nullopt;
    }
    auto value = osReleaseValue(*osRelease_, key);
    if (value && !value->empty()) {
        return text::repairUtf8(*value);
    }
    return std::nullopt;
}

std::string Device::systemName() const {
    if (auto name = readOsRelease("NAME")) {
        return *name;
    }
    const std::string sysname = readUname().sysname;
    return sysname.empty() ? "Linux" : text::repairUtf8(sysname);
}

std::string Device::systemVersion() const {
    if (auto version = readOsRelease("VERSION_ID")) {
        return *version;
    }
    return text::repairUtf8(readUname().release);
}

std::string Device::manufacturer() const {
    std::string text;
    if (AtomicFile::read("/sys/class/dmi/id/sys_vendor", text) == AtomicFile::ReadStatus::ok) {
        const auto end = text.find_last_not_of(" \t\r\n");
        text.erase(end == std::string::npos ? 0 : end + 1);
        if (!text.empty()) {
            return text::repairUtf8(text);
        }
    }
    return "unknown";
}

std::string Device::machine() const {
    return readUname().machine;
}

std::optional<Device::Locale> Device::currentLocale() {
    // Read afresh at every call: the host may switch its locale while running.
    for (const char* variable : {"LC_ALL", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') {
            return parseLocale(value);
        }
    }
    return std::nullopt;
}

std::vector<std::string> Device::preferredLanguages() const {
    const auto locale = currentLocale();
    if (!locale) {
        return {};
    }
    return {locale->region.empty() ? locale->language : locale->language + "-" + locale->region};
}

std::optional<std::string> Device::regionCode() const {
    const auto locale = currentLocale();
    if (!locale || locale->region.empty()) {
        return std::nullopt;
    }
    return locale->region;
}

std::optional<Device::Locale> Device::parseLocale(std::string_view name) {
    // language[_territory][.codeset][@modifier]
    name = name.substr(0, name.find_first_of(".@"));
    const std::size_t underscore = name.find('_');
    const std::string_view language = name.substr(0, underscore);
    const std::string_view region = underscore == std::string_view::npos ? "" : name.substr(underscore + 1);
    if (language.size() < 2 || language.size() > 3 || !zqb::text::allBytes(language, std::isalpha)) {
        return std::nullopt;  // ISO 639 codes only: also refuses "C" and "POSIX"
    }
    Locale locale;
    for (const unsigned char c : language) {
        locale.language.push_back(static_cast<char>(std::tolower(c)));
    }
    if ((region.size() == 2 && zqb::text::allBytes(region, std::isalpha)) ||
        (region.size() == 3 && zqb::text::allBytes(region, std::isdigit))) {
        for (const unsigned char c : region) {
            locale.region.push_back(static_cast<char>(std::toupper(c)));
        }
    }
    return locale;
}

std::optional<std::string> Device::osReleaseValue(std::string_view text, std::string_view key) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=') {
            continue;
        }
        std::string_view raw = line.substr(key.size() + 1);
        while (!raw.empty() && std::isspace(static_cast<unsigned char>(raw.back())) != 0) {
            raw.remove_suffix(1);
        }
        if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front()) {
            const char quote = raw.front();
            raw = raw.substr(1, raw.size() - 2);
            std::string value;
            for (std::size_t i = 0; i < raw.size(); ++i) {
                if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size()) {
                    ++i;
                }
                value.push_back(raw[i]);
            }
            return value;
        }
        return std::string(raw);
    }
    return std::nullopt;
}

int64_t Device::secondsFromGMT(double secondsSince1970) const {
    if (!std::isfinite(secondsSince1970)) {
        return 0;
    }
    // Picks up a changed TZ; localtime_r alone may keep the zone it read first.
    ::tzset();
    const std::time_t moment = static_cast<std::time_t>(std::floor(secondsSince1970));
    std::tm local{};
    if (::localtime_r(&moment, &local) == nullptr) {
        return 0;
    }
    return local.tm_gmtoff;
}

std::optional<ScreenInfo> Device::screen() const {
    std::lock_guard lock(mutex_);
    return screen_;
}

void Device::setScreen(std::optional<ScreenInfo> screen) {
    std::lock_guard lock(mutex_);
    screen_ = screen;
}

std::optional<std::string> Device::identifierForVendor() const {
    const std::string bundleIdentifier = bundleIdentifier_();
    std::lock_guard lock(mutex_);
    auto it = vendorIds_.find(bundleIdentifier);
    if (it == vendorIds_.end()) {
        if (!vendorIdFile_) {
            vendorIdFile_ = defaultVendorIdPath();
        }
        it = vendorIds_.emplace(bundleIdentifier, loadOrCreateVendorId(*vendorIdFile_, bundleIdentifier))
                 .first;
    }
    return it->second;
}

std::string Device::loadOrCreateVendorId(const std::filesystem::path& file,
                                         const std::string& bundleIdentifier) {
    using Json = nlohmann::ordered_json;
    const std::string key = text::repairUtf8(bundleIdentifier);
    // Without a user data directory there is no file; why was logged where that was found.
    if (file.empty()) {
        return text::uuidString();
    }
    if (!AtomicFile::ensureDirectory(file.parent_path(), kPrivateFolderMode)) {
        Logger::writeLog(ZQBLogLevel::error,
                         "[Platform] Cannot create " + file.parent_path().string() +
                             "; the vendor identifier lasts only while the application runs");
        return text::uuidString();
    }
    FileLock lock(file.parent_path() / (file.filename().string() + ".lock"));
    std::string bytes;
    Json ids = Json::object();
    switch (AtomicFile::read(file, bytes)) {
        case AtomicFile::ReadStatus::ok: {
            Json parsed = Json::parse(bytes, nullptr, false);
            if (parsed.is_object()) {
                ids = std::move(parsed);
            }
            break;
        }
        case AtomicFile::ReadStatus::missing:
            break;
        case AtomicFile::ReadStatus::failed:
            // Writing over a file that could not be read would drop the other applications' ids.
            Logger::writeLog(ZQBLogLevel::error,
                             "[Platform] Cannot read " + file.string() +
                                 "; the vendor identifier lasts only while the application runs");
            return text::uuidString();
    }
    if (const auto it = ids.find(key);
        it != ids.end() && it->is_string() && isUuidText(it->get<std::string>())) {
        return it->get<std::string>();
    }
    const std::string created = text::uuidString();
    ids[key] = created;
    if (!AtomicFile::write(file, ids.dump(), kPrivateFileMode)) {
        Logger::writeLog(ZQBLogLevel::error,
                         "[Platform] Cannot write " + file.string() +
                             "; the vendor identifier lasts only while the application runs");
    }
    return created;
}

}  // namespace zqb::host
