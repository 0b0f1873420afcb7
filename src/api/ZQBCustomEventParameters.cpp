#include <ZQBAnalytics/ZQBCustomEventParameters.hpp>

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "validation/CustomEventParamsLimit.hpp"

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
    if (static_cast<int64_t>(dictionary_.size()) >= limit) {
        zqb::Logger::writeLog(ZQBLogLevel::error, "[CustomEventParameters] Limit of [" +
                                                      std::to_string(limit) +
                                                      "] is reached when adding a new parameter");
        return;
    }
    std::string storedKey = zqb::text::repairUtf8(key);
    auto [canonical, added] = canonicalKeys_.try_emplace(zqb::text::nfc(storedKey), storedKey);
    dictionary_.insert_or_assign(canonical->second, std::move(value));
}

std::string ZQBCustomEventParameters::description() const {
    std::string out;
    for (const auto& [key, value] : dictionary_) {
        if (!out.empty()) {
            out += '\n';
        }
        out += "key: ";
        out += key;
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
            value);
    }
    return out;
}
