#include <ZQBAnalytics/ZQBCustomEventParameters.hpp>

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "validation/CustomEventParamsLimit.hpp"

#include <algorithm>

void ZQBCustomEventParameters::add(std::string_view key, bool value) {
    addParameter(key, value);
}

void ZQBCustomEventParameters::add(std::string_view key, int64_t value) {
    addParameter(key, value);
}

void ZQBCustomEventParameters::add(std::string_view key, double value) {
    addParameter(key, value);
}

void ZQBCustomEventParameters::add(std::string_view key, std::string_view value) {
    addParameter(key, zqb::text::repairUtf8(value));
}

void ZQBCustomEventParameters::addParameter(std::string_view key, Value value) {
    const int64_t limit = zqb::CustomEventParamsLimit::current();
    if (static_cast<int64_t>(entries_.size()) >= limit) {
        zqb::Logger::writeLog(ZQBLogLevel::error, "[CustomEventParameters] Limit of [" +
                                                      std::to_string(limit) +
                                                      "] is reached when adding a new parameter");
        return;
    }
    std::string storedKey = zqb::text::repairUtf8(key);
    // An ASCII key is its own normal form.
    std::string canonical;
    if (!zqb::text::isAscii(storedKey)) {
        canonical = zqb::text::nfc(storedKey);
        if (canonical == storedKey) {
            canonical.clear();
        }
    }
    const std::string_view wanted =
        canonical.empty() ? std::string_view(storedKey) : std::string_view(canonical);
    for (auto& entry : entries_) {
        const std::string_view held = entry.canonical.empty() ? entry.key : entry.canonical;
        if (held == wanted) {
            entry.value = std::move(value);
            return;
        }
    }
    if (entries_.empty()) {
        entries_.reserve(4);
    }
    // Hosts often add keys in order: the new entry then goes at the end, and nothing moves.
    const auto at = entries_.empty() || entries_.back().key < storedKey
                        ? entries_.end()
                        : std::lower_bound(entries_.begin(), entries_.end(), storedKey,
                                           [](const Entry& entry, const std::string& wanted) {
                                               return entry.key < wanted;
                                           });
    entries_.insert(at, Entry{std::move(storedKey), std::move(value), std::move(canonical)});
}

std::map<std::string, ZQBCustomEventParameters::Value> ZQBCustomEventParameters::getAllParameters() const {
    std::map<std::string, Value> all;
    for (const auto& entry : entries_) {
        all.emplace_hint(all.end(), entry.key, entry.value);
    }
    return all;
}

std::string ZQBCustomEventParameters::description() const {
    std::string out;
    for (const auto& entry : entries_) {
        if (!out.empty()) {
            out += '\n';
        }
        out += "key: ";
        out += entry.key;
        out += " value: ";
        std::visit(
            [&out](const auto& held) {
                using T = std::decay_t<decltype(held)>;
                if constexpr (std::is_same_v<T, bool>) {
                    out += held ? "true" : "false";
                } else if constexpr (std::is_same_v<T, int64_t>) {
                    out += std::to_string(held);
                } else if constexpr (std::is_same_v<T, double>) {
                    out += zqb::text::doubleDescription(held);
                } else {
                    out += held;
                }
            },
            entry.value);
    }
    return out;
}
