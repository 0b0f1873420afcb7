#include "validation/Validator.hpp"

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "validation/Bounder.hpp"

#include <cmath>
#include <mutex>
#include <typeinfo>
#include <utility>

namespace zqb {
namespace {

// Written by the configuration path on the income queue and read wherever an event is checked; a
// configuration reply may replace it while another thread reads, so readers take a snapshot.
std::mutex& optionsMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<const ExcludedOptions>& optionsSlot() {
    // Never destroyed: the income queue may still check an event while the process exits.
    static auto* slot = new std::shared_ptr<const ExcludedOptions>();
    return *slot;
}

std::shared_ptr<const ExcludedOptions> optionsSnapshot() {
    std::lock_guard lock(optionsMutex());
    return optionsSlot();
}

// The enumeration's cases, raw values from 0 without a gap, are those `fromRaw` gives a value for. Any
// other raw value is refused with ERROR "<head>\n\t<argument> [<raw>] \n\tParameter must be a case of
// <name> (0 <description>, 1 <description>, ...)."
template <typename E, typename FromRaw>
bool validCaseOf(std::string_view method, std::string_view argument, E value, std::string_view name,
                 FromRaw fromRaw) {
    const auto raw = static_cast<int64_t>(value);
    if (fromRaw(raw)) {
        return true;
    }
    std::string cases;
    for (int64_t known = 0;; ++known) {
        const auto found = fromRaw(known);
        if (!found) {
            break;
        }
        cases += (known == 0 ? "" : ", ") + std::to_string(known) + " " + std::string(description(*found));
    }
    Logger::writeLog(ZQBLogLevel::error, Validator::messageHead(method) + "\n\t" + std::string(argument) +
                                             " [" + std::to_string(raw) +
                                             "] \n\tParameter must be a case of " + std::string(name) + " (" +
                                             cases + ").");
    return false;
}

}  // namespace

std::optional<ExcludedOptions> Validator::excludedOptions() {
    const auto snapshot = optionsSnapshot();
    if (!snapshot) {
        return std::nullopt;
    }
    return *snapshot;
}

void Validator::setExcludedOptions(std::optional<ExcludedOptions> options) {
    std::shared_ptr<const ExcludedOptions> replacement;
    if (options) {
        replacement = std::make_shared<const ExcludedOptions>(std::move(*options));
    }
    std::shared_ptr<const ExcludedOptions> previous;
    {
        std::lock_guard lock(optionsMutex());
        previous = std::exchange(optionsSlot(), std::move(replacement));
    }
    // `previous` is released outside the lock.
}

std::string Validator::messageHead(std::string_view method) {
    std::string head = "In the ";
    head += method;
    head += " method an error has occurred: ";
    return head;
}

void Validator::logNil(std::string_view method, std::string_view argument) {
    Logger::writeLog(ZQBLogLevel::error, messageHead(method) + "\n\t" + std::string(argument) + " is nil!");
}

void Validator::logEmpty(std::string_view method, std::string_view argument) {
    Logger::writeLog(ZQBLogLevel::error, messageHead(method) + "\n\t" + std::string(argument) + " is empty!");
}

void Validator::logInvalidType(std::string_view method, std::string_view argument) {
    Logger::writeLog(ZQBLogLevel::error,
                     messageHead(method) + "\n\t" + std::string(argument) +
                         " \n\tParameter must be of a valid type (Bool, Int, Double, String).");
}

void Validator::logOutOfInterval(std::string_view method, std::string_view argument, const std::string& value,
                                 std::string_view relation, const std::string& bound) {
    Logger::writeLog(ZQBLogLevel::error, messageHead(method) + "\n\t" + std::string(argument) + " [" + value +
                                             std::string(relation) + bound + "] permitted value!");
}

std::string Validator::doubleText(double value) {
    return text::doubleDescription(value);
}

bool Validator::isExcluded(std::string_view code, const std::optional<AnyCodable>& argument) {
    const auto options = optionsSnapshot();
    if (!options || options->empty()) {
        return false;
    }
    const auto found = options->find(code);
    if (found == options->end()) {
        return false;
    }
    const std::string codeText(code);
    if (found->second.empty()) {
        Logger::writeLog(ZQBLogLevel::info, "Event [" + codeText + "] is excluded by project configuration");
        return true;
    }
    if (!argument) {
        return false;
    }
    for (const AnyCodable& excluded : found->second) {
        if (*argument == excluded) {
            Logger::writeLog(ZQBLogLevel::info, "Event [" + codeText + "] with [" + argument->description() +
                                                    "] argument is excluded by project configuration");
            return true;
        }
    }
    return false;
}

bool Validator::validateDoubleNAN(std::string_view method, std::string_view argument, double value) {
    if (std::isnan(value)) {
        Logger::writeLog(ZQBLogLevel::error, messageHead(method) + "\n\t" + std::string(argument) +
                                                 " \n\tParameter cannot be NAN.");
        return false;
    }
    return true;
}

bool Validator::equalStringLength(std::string_view method, std::string_view argument,
                                  const std::optional<std::string>& value, int64_t length) {
    if (!value) {
        return false;
    }
    if (length >= 0 && text::characterCount(*value) == static_cast<std::size_t>(length)) {
        return true;
    }
    Logger::writeLog(ZQBLogLevel::error, messageHead(method) + "\n\t" + std::string(argument) +
                                             " is invalid\n\tParameter [" + Bounder::echo(*value) +
                                             "] length must be equal to [" + std::to_string(length) + "].");
    return false;
}

bool Validator::validType(std::string_view method, std::string_view argument,
                          const std::optional<AnyCodable>& value) {
    if (!value) {
        logNil(method, argument);
        return false;
    }
    return validType(method, argument, *value);
}

bool Validator::validType(std::string_view method, std::string_view argument, const AnyCodable& value) {
    switch (value.kind()) {
        case AnyCodable::Kind::int_:
        case AnyCodable::Kind::double_:
        case AnyCodable::Kind::string:
        case AnyCodable::Kind::boolean:
            return true;
        case AnyCodable::Kind::opaque:
            if (value.opaqueValue()->value.type() == typeid(ZQBGender)) {
                return true;
            }
            break;
        default:
            break;
    }
    logInvalidType(method, argument);
    return false;
}

bool Validator::validType(std::string_view method, std::string_view argument,
                          const std::optional<PeopleValueType>& value) {
    if (!value) {
        logNil(method, argument);
        return false;
    }
    if (value->isInt() || value->isDouble() || value->isString() || value->isBool() || value->isGender()) {
        return true;
    }
    logInvalidType(method, argument);
    return false;
}

bool Validator::validCase(std::string_view method, std::string_view argument, ZQBAccrualType value) {
    return validCaseOf(method, argument, value, "ZQBAccrualType", ZQBAccrualTypeFromRawValue);
}

bool Validator::validCase(std::string_view method, std::string_view argument, ZQBGender value) {
    return validCaseOf(method, argument, value, "ZQBGender", ZQBGenderFromRawValue);
}

bool Validator::validCase(std::string_view method, std::string_view argument, ZQBTrackingStatus value) {
    return validCaseOf(method, argument, value, "ZQBTrackingStatus", ZQBTrackingStatusFromRawValue);
}

bool Validator::validCase(std::string_view method, std::string_view argument, ZQBLogLevel value) {
    return validCaseOf(method, argument, value, "ZQBLogLevel", ZQBLogLevelFromRawValue);
}

}  // namespace zqb
