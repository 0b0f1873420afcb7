#include "validation/PeopleValidatorRules.hpp"

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "validation/ArgumentText.hpp"
#include "validation/Bounder.hpp"
#include "validation/Validator.hpp"
#include "validation/ValidatorRules.hpp"

#include <limits>
#include <utility>

namespace zqb {
namespace {

using argument::cleanedAndCut;
using argument::required;

constexpr int64_t kMaxKeyLength = 64;
constexpr int64_t kMaxTextLength = 255;

// The text between `before` and `after` is an argument, repeated no longer than a log line may repeat one.
std::string bracketed(std::string_view before, std::string_view key, std::string_view after) {
    std::string text(before);
    Bounder::appendEcho(text, key);
    text += after;
    return text;
}

}  // namespace

std::optional<PeopleValidatorRules::SetArguments> PeopleValidatorRules::validateSet(
    std::string_view method, std::string_view key, const PeopleValueType& value) {
    constexpr std::string_view keyArgument = "The key argument";
    constexpr std::string_view valueArgument = "The value argument";
    constexpr double greatest = std::numeric_limits<double>::max();

    std::string cleanKey = cleanedAndCut(method, keyArgument, key, kMaxKeyLength);
    bool valid = required(method, keyArgument, cleanKey);

    PeopleValueType cleanValue = value;
    if (!Validator::validType(method, valueArgument, value)) {
        valid = false;
    } else if (value.isDouble()) {
        const double number = *value.doubleValue();
        const bool notNaN = Validator::validateDoubleNAN(method, valueArgument, number);
        const bool finite = Validator::inInterval(method, valueArgument, number, -greatest, greatest);
        valid = valid && notNaN && finite;
    } else if (value.isString()) {
        std::string text = cleanedAndCut(method, valueArgument, *value.toString(), kMaxTextLength);
        valid = required(method, valueArgument, text) && valid;
        cleanValue = PeopleValueType(std::move(text));
    } else if (const auto gender = value.genderValue()) {
        // The card keeps a gender as its raw value, as it reads back from the database.
        valid = Validator::validCase(method, valueArgument, *gender) && valid;
        cleanValue = PeopleValueType(static_cast<int64_t>(*gender));
    }

    if (!valid) {
        ValidatorRules::notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    return SetArguments{std::move(cleanKey), std::move(cleanValue)};
}

std::optional<std::string> PeopleValidatorRules::validateKey(std::string_view method, std::string_view key) {
    const std::string cleanKey = text::removeControlCharacters(key);
    const std::string argumentText = bracketed("The [", cleanKey, "] key argument");
    std::string cutKey = cleanedAndCut(method, argumentText, cleanKey, kMaxKeyLength);
    if (!required(method, argumentText, cutKey)) {
        ValidatorRules::notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    return cutKey;
}

std::optional<std::vector<std::string>> PeopleValidatorRules::validateUnset(
    std::string_view method, const std::vector<std::string>& keys) {
    std::vector<std::string> kept;
    for (const std::string& key : keys) {
        const std::string cleanKey = text::removeControlCharacters(key);
        const std::string argumentText = bracketed("The [", cleanKey, "] key of the keys array");
        std::string cutKey = cleanedAndCut(method, argumentText, cleanKey, kMaxKeyLength);
        if (required(method, argumentText, cutKey)) {
            kept.push_back(std::move(cutKey));
        }
    }
    if (kept.empty()) {
        return std::nullopt;
    }
    return kept;
}

bool PeopleValidatorRules::validateReservedValueType(std::string_view /*method*/, PeopleReservedKeys key,
                                                     const PeopleValueType& value) {
    bool fits = false;
    std::string_view kind;
    switch (key) {
        case PeopleReservedKeys::name:
        case PeopleReservedKeys::email:
        case PeopleReservedKeys::phone:
        case PeopleReservedKeys::photo:
            fits = value.isString();
            kind = "String";
            break;
        case PeopleReservedKeys::gender:
            fits = value.isGender();
            kind = "ZQBGender";
            break;
        case PeopleReservedKeys::age:
            fits = value.isInt();
            kind = "Int";
            break;
        case PeopleReservedKeys::cheater:
            fits = value.isBool();
            kind = "Bool";
            break;
    }
    if (!fits) {
        Logger::writeLog(ZQBLogLevel::error,
                         bracketed("Invalid value! The [", value.description(), "] value") +
                             bracketed(" of the reserved key [", rawValue(key), "] must be ") +
                             std::string(kind));
    }
    return fits;
}

}  // namespace zqb
