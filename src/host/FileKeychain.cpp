#include "host/FileKeychain.hpp"

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "host/AtomicFile.hpp"
#include "host/FileLock.hpp"
#include "host/Files.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>

namespace zqb::host {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::array<std::pair<KeychainAccessibility, const char*>, 5> kAccessibilityNames{{
    {KeychainAccessibility::whenUnlocked, "whenUnlocked"},
    {KeychainAccessibility::whenUnlockedThisDeviceOnly, "whenUnlockedThisDeviceOnly"},
    {KeychainAccessibility::afterFirstUnlock, "afterFirstUnlock"},
    {KeychainAccessibility::afterFirstUnlockThisDeviceOnly, "afterFirstUnlockThisDeviceOnly"},
    {KeychainAccessibility::whenPasscodeSetThisDeviceOnly, "whenPasscodeSetThisDeviceOnly"},
}};

// Texts are kept as JSON strings; bytes that are not UTF-8 as an array of byte values, so nothing is altered.
Json bytesToJson(const std::string& bytes) {
    if (text::isValidUtf8(bytes)) {
        return bytes;
    }
    Json array = Json::array();
    for (const unsigned char byte : bytes) {
        array.push_back(static_cast<int>(byte));
    }
    return array;
}

bool bytesFromJson(const Json& json, std::string& bytes) {
    if (json.is_string()) {
        bytes = json.get<std::string>();
        return true;
    }
    if (!json.is_array()) {
        return false;
    }
    bytes.clear();
    for (const auto& element : json) {
        if (!element.is_number_unsigned() || element.get<uint64_t>() > 255) {
            return false;
        }
        bytes.push_back(static_cast<char>(element.get<uint64_t>()));
    }
    return true;
}

bool itemFromJson(const Json& json, KeychainItem& item) {
    if (!json.is_object() || !json.contains("account") || !json.contains("value") ||
        !bytesFromJson(json["account"], item.account) || !bytesFromJson(json["value"], item.value)) {
        return false;
    }
    if (json.contains("accessGroup") && !bytesFromJson(json["accessGroup"], item.accessGroup)) {
        return false;
    }
    if (json.contains("synchronizable")) {
        if (!json["synchronizable"].is_boolean()) {
            return false;
        }
        item.synchronizable = json["synchronizable"].get<bool>();
    }
    if (json.contains("accessible")) {
        const Json& accessible = json["accessible"];
        const auto it = std::find_if(kAccessibilityNames.begin(), kAccessibilityNames.end(),
                                     [&](const auto& entry) { return accessible == entry.second; });
        if (it == kAccessibilityNames.end()) {
            return false;
        }
        item.accessible = it->first;
    }
    return true;
}

Json itemToJson(const KeychainItem& item) {
    Json json = Json::object();
    json["account"] = bytesToJson(item.account);
    json["accessGroup"] = bytesToJson(item.accessGroup);
    json["synchronizable"] = item.synchronizable;
    for (const auto& [accessible, name] : kAccessibilityNames) {
        if (accessible == item.accessible) {
            json["accessible"] = name;
        }
    }
    json["value"] = bytesToJson(item.value);
    return json;
}

}  // namespace

struct FileKeychain::Contents {
    std::vector<KeychainItem> items;
    // Entries this version cannot read (written by a later one, or damaged): written back untouched.
    std::vector<Json> unreadable;
};

FileKeychain::FileKeychain(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path FileKeychain::defaultPath() {
    const std::filesystem::path userData = Files::userDataDirectory();
    return userData.empty() ? userData : userData / kKeychainFolderName / "keychain.json";
}

FileKeychain::LoadResult FileKeychain::load(Contents& contents) const {
    std::string bytes;
    switch (AtomicFile::read(file_, bytes)) {
        case AtomicFile::ReadStatus::missing:
            return LoadResult::missing;
        case AtomicFile::ReadStatus::failed:
            return LoadResult::failed;
        case AtomicFile::ReadStatus::ok:
            break;
    }
    const Json json = Json::parse(bytes, nullptr, false);
    if (json.is_discarded() || !json.is_object() || !json.contains("items") || !json["items"].is_array()) {
        return LoadResult::unparsable;
    }
    for (const auto& entry : json["items"]) {
        KeychainItem item;
        if (itemFromJson(entry, item)) {
            contents.items.push_back(std::move(item));
        } else {
            contents.unreadable.push_back(entry);
        }
    }
    return LoadResult::ok;
}

bool FileKeychain::save(const Contents& contents) const {
    Json items = Json::array();
    for (const auto& item : contents.items) {
        items.push_back(itemToJson(item));
    }
    for (const auto& entry : contents.unreadable) {
        items.push_back(entry);
    }
    Json json = Json::object();
    json["items"] = std::move(items);
    return AtomicFile::write(file_, json.dump(), kPrivateFileMode);
}

void FileKeychain::moveAsideUnparsable() const {
    const auto stamp = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    std::filesystem::path aside = file_;
    aside += ".unreadable-" + std::to_string(stamp);
    std::error_code error;
    std::filesystem::rename(file_, aside, error);
    Logger::writeLog(ZQBLogLevel::error, "[Keychain] The keychain file " + file_.string() +
                                             " could not be read; it was kept as " + aside.string() +
                                             " and a new one is started");
}

int32_t FileKeychain::transact(const Change& change) {
    std::lock_guard threadLock(mutex_);
    // Without a user data directory there is no file; why was logged where that was found.
    if (file_.empty() || !AtomicFile::ensureDirectory(file_.parent_path(), kPrivateFolderMode)) {
        return keychain_status::ioError;
    }
    FileLock processLock(file_.parent_path() / (file_.filename().string() + ".lock"));

    Contents contents;
    const LoadResult loaded = load(contents);
    if (loaded == LoadResult::failed) {
        return keychain_status::ioError;
    }
    bool changed = false;
    const int32_t status = change(contents.items, changed);
    if (status != keychain_status::success || !changed) {
        return status;
    }
    if (loaded == LoadResult::unparsable) {
        moveAsideUnparsable();
    }
    return save(contents) ? status : keychain_status::ioError;
}

}  // namespace zqb::host
