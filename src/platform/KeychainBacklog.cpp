#include "platform/KeychainBacklog.hpp"

#include "host/AtomicFile.hpp"

#include <nlohmann/json.hpp>

namespace zqb {
namespace {

// Three ids of 36 characters under their accounts fit many times over; anything larger is not ours.
constexpr std::size_t kMaxBytes = 64 * 1024;

}  // namespace

KeychainBacklog::Items KeychainBacklog::load() const {
    std::string bytes;
    if (file_.empty() ||
        host::AtomicFile::read(file_, bytes, kMaxBytes) != host::AtomicFile::ReadStatus::ok) {
        return {};
    }
    const auto json = nlohmann::json::parse(bytes, nullptr, false);
    if (!json.is_object() || !json.contains("items") || !json["items"].is_array()) {
        return {};
    }
    Items items;
    for (const auto& entry : json["items"]) {
        if (!entry.is_object() || !entry.contains("account") || !entry["account"].is_string() ||
            !entry.contains("value")) {
            continue;
        }
        const auto& value = entry["value"];
        if (value.is_string()) {
            items.emplace_back(entry["account"].get<std::string>(), value.get<std::string>());
        } else if (value.is_null()) {
            items.emplace_back(entry["account"].get<std::string>(), std::nullopt);
        }
    }
    return items;
}

bool KeychainBacklog::keep(const Items& items) const {
    if (file_.empty()) {
        return false;
    }
    nlohmann::json entries = nlohmann::json::array();
    for (const auto& [account, value] : items) {
        entries.push_back(
            {{"account", account}, {"value", value ? nlohmann::json(*value) : nlohmann::json()}});
    }
    const nlohmann::json json = {{"items", std::move(entries)}};
    std::string bytes;
    try {
        bytes = json.dump();
    } catch (const nlohmann::json::exception&) {
        return false;  // an account that is not UTF-8 (a bundle name taken from the executable's file name)
    }
    return host::AtomicFile::write(file_, bytes, host::kPrivateFileMode);
}

void KeychainBacklog::clear() const {
    if (!file_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(file_, ignored);
    }
}

}  // namespace zqb
