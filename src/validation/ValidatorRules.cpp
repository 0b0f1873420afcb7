#include "validation/ValidatorRules.hpp"

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "validation/ArgumentText.hpp"
#include "validation/Bounder.hpp"
#include "validation/Validator.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <map>
#include <utility>

namespace zqb {
namespace {

constexpr double kMaxDouble = std::numeric_limits<double>::max();
constexpr int64_t kMaxInt32 = 2147483647;
constexpr std::string_view kUserIdArgument = "The user id argument value";

using argument::cleanedAndCut;
using argument::required;

std::string cleaned(std::string_view value) {
    return text::removeControlCharacters(value);
}

// `value` is an argument or a name, repeated no longer than a log line may repeat one.
std::string quoted(std::string_view before, std::string_view value, std::string_view after) {
    std::string out;
    out.reserve(before.size() + std::min<std::size_t>(value.size(), 4096) + after.size());
    out += before;
    Bounder::appendEcho(out, value);
    out += after;
    return out;
}

// Builds a name-to-amount map in which canonically equivalent names are one entry: the first spelling is
// kept, the later amount wins.
class ResourceMapBuilder {
public:
    void assign(const std::string& name, int64_t amount) {
        const auto [known, added] = names_.try_emplace(text::nfc(name), name);
        result_.insert_or_assign(known->second, amount);
    }
    IntMap take() { return std::move(result_); }

private:
    IntMap result_;
    std::map<std::string, std::string> names_;
};

}  // namespace

void ValidatorRules::notifyThatMethodExecutionWasCanceled(std::string_view method) {
    Logger::writeLog(ZQBLogLevel::error, quoted("Execution of the ", method, " method was canceled!"));
}

std::optional<std::string> ValidatorRules::validateInitializeKey(std::string_view key) {
    constexpr std::string_view argument = "The application key argument value";
    std::string value = cleanedAndCut(kInitialize, argument, key, 255);
    // The reason stands on the ERROR's first line: a refused key stops the whole library, and a log read
    // line by line must still say why.
    if (value.empty()) {
        Logger::writeLog(ZQBLogLevel::error,
                         Validator::messageHead(kInitialize) + std::string(argument) + " is empty!");
    }
    if (value.empty() || !sendableKey(argument, value)) {
        notifyThatMethodExecutionWasCanceled(kInitialize);
        return std::nullopt;
    }
    return value;
}

bool ValidatorRules::sendableKey(std::string_view argument, std::string_view key) {
    // The key travels in the query of every request as it is, unescaped: what the gateway reads back must be
    // the same key. Letters, digits and the marks below stand for themselves in a query's value, "=" too
    // (only the first one of a pair ends its name; a base64 key holds "/" and "="). "&" and "#" end the
    // value, "%" starts an escape, "+" reads as a space, some query readers split on ";" or refuse it, and a
    // space, a quote, a bracket, a backslash, a control or a non-ASCII character cannot stand in an address.
    constexpr std::string_view marks = "-._~!$'()*,:/=@?";
    const auto refused = std::find_if(key.begin(), key.end(), [&](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x80 || (std::isalnum(byte) == 0 && marks.find(c) == std::string_view::npos);
    });
    if (refused == key.end()) {
        return true;
    }
    const std::size_t at = static_cast<std::size_t>(refused - key.begin());
    // Every byte before it is one of the accepted characters: the refused one starts a code point.
    const char32_t codePoint = text::firstCodePoint(key.substr(at));
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(codePoint));
    // A visible character is shown as well; a space or a letter of another script is named by its number.
    const std::string shown =
        codePoint > 0x20 && codePoint < 0x7F ? "[" + std::string(1, *refused) + "] (" + number + ")" : number;
    Logger::writeLog(ZQBLogLevel::error,
                     Validator::messageHead(kInitialize) + std::string(argument) + " holds the character " +
                         shown +
                         ", which cannot be sent in a request's address; a key may hold "
                         "only the letters A-Z and a-z, the digits and - . _ ~ ! $ ' ( ) * , : / = @ ?");
    return false;
}

std::optional<std::string> ValidatorRules::validateUserId(std::string_view method, std::string_view userId) {
    if (userId.empty()) {
        return std::string();
    }
    std::string value = cleanedAndCut(method, kUserIdArgument, userId, 64);
    if (!required(method, kUserIdArgument, value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<ValidatorRules::ReplaceUserIdArguments> ValidatorRules::validateReplaceUserId(
    std::string_view method, std::string_view prevUserId, std::string_view userId) {
    std::string previous = cleanedAndCut(method, kUserIdArgument, prevUserId, 64);
    const bool previousValid = required(method, kUserIdArgument, previous);
    std::string next = cleanedAndCut(method, kUserIdArgument, userId, 64);
    const bool nextValid = required(method, kUserIdArgument, next);
    if (!previousValid || !nextValid) {
        return std::nullopt;
    }
    return ReplaceUserIdArguments{std::move(previous), std::move(next)};
}

std::optional<ValidatorRules::CustomEventArguments> ValidatorRules::validateCustomEvent(
    std::string_view name, const AnyCodableMap& params) {
    constexpr std::string_view method = "CustomEvent";
    constexpr std::string_view nameArgument = "The custom event name";
    constexpr std::string_view keyArgument = "The key of the parameters dictionary";

    std::string eventName = cleanedAndCut(method, nameArgument, name, 72);
    const bool nameValid = required(method, nameArgument, eventName);

    AnyCodableMap kept;
    kept.reserve(params.size());
    // One text for every parameter's argument description, its room kept from one to the next.
    std::string valueArgument;
    for (const auto& [rawKey, value] : params) {
        const std::string key = cleaned(rawKey);
        valueArgument.assign("The value of the parameters dictionary by [");
        Bounder::appendEcho(valueArgument, key);
        valueArgument.append("] key");
        const bool keyValid = required(method, keyArgument, key);
        const bool typeValid = Validator::validType(method, valueArgument, value);
        if (!keyValid || !typeValid) {
            continue;
        }
        std::string cutKey = *Bounder::maxStringLength(method, keyArgument, key, 32);
        switch (value.kind()) {
            case AnyCodable::Kind::int_:
                kept.insertOrAssign(std::move(cutKey), value);
                break;
            case AnyCodable::Kind::double_: {
                const double number = *value.doubleValue();
                if (Validator::inInterval(method, valueArgument, number, -kMaxDouble, kMaxDouble) &&
                    Validator::validateDoubleNAN(method, valueArgument, number)) {
                    kept.insertOrAssign(std::move(cutKey), value);
                }
                break;
            }
            case AnyCodable::Kind::string: {
                std::string textValue = cleanedAndCut(method, valueArgument, *value.stringValue(), 255);
                if (required(method, valueArgument, textValue)) {
                    kept.insertOrAssign(std::move(cutKey), AnyCodable(std::move(textValue)));
                }
                break;
            }
            default:
                kept.insertOrAssign(std::move(cutKey), value);
                break;
        }
    }

    if (!nameValid) {
        notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    return CustomEventArguments{std::move(eventName), std::move(kept)};
}

std::optional<ValidatorRules::CurrencyAccrualArguments> ValidatorRules::validateCurrencyAccrual(
    std::string_view currencyName, int64_t currencyAmount, std::string_view source,
    ZQBAccrualType accrualType) {
    constexpr std::string_view method = "CurrencyAccrual";
    std::string name = cleanedAndCut(method, "The currency name", currencyName, 24);
    const bool nameValid = required(method, "The currency name", name);
    std::string cleanSource = cleanedAndCut(method, "The source", source, 32);
    const bool sourceValid = required(method, "The source", cleanSource);
    const bool amountValid =
        Validator::inInterval<int64_t>(method, "The currency amount", currencyAmount, 1, kMaxInt32);
    const bool typeValid = Validator::validCase(method, "The accrual type", accrualType);
    if (!nameValid || !sourceValid || !amountValid || !typeValid) {
        notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    return CurrencyAccrualArguments{std::move(name), currencyAmount, std::move(cleanSource), accrualType};
}

IntMap ValidatorRules::validateResorces(std::string_view method, std::string_view dictionaryName,
                                        const IntMap& resources, int64_t maxKeyLength, int64_t min,
                                        int64_t max) {
    const std::string valueArgument = quoted("The value of the ", dictionaryName, "");
    ResourceMapBuilder result;
    for (const auto& [rawKey, amount] : resources) {
        const std::string key = cleaned(rawKey);
        const std::string keyArgument = quoted("The [", key, "] key of the ") + std::string(dictionaryName);
        std::string cutKey = *Bounder::maxStringLength(method, keyArgument, key, maxKeyLength);
        if (!required(method, keyArgument, cutKey)) {
            continue;
        }
        if (!Validator::inInterval(method, valueArgument, amount, min, max)) {
            continue;
        }
        result.assign(cutKey, amount);
    }
    return result.take();
}

std::optional<ValidatorRules::VirtualCurrencyPaymentArguments> ValidatorRules::validateVirtualCurrencyPayment(
    std::string_view purchaseId, std::string_view purchaseType, int64_t purchaseAmount,
    const IntMap& resources) {
    constexpr std::string_view method = "VirtualCurrencyPayment";
    bool valid = Validator::inInterval<int64_t>(method, "The purchase amount", purchaseAmount, 1, kMaxInt32);

    IntMap cleanResources = validateResorces(method, "resources dictionary", resources, 24, 1, kMaxInt32);
    if (cleanResources.empty()) {
        Logger::writeLog(ZQBLogLevel::error, "VirtualCurrencyPayment has empty Resources dictionary!");
        valid = false;
    }

    std::string id = cleanedAndCut(method, "The purchase identifier", purchaseId, 32);
    valid = required(method, "The purchase identifier", id) && valid;
    std::string type = cleanedAndCut(method, "The purchase type", purchaseType, 96);
    valid = required(method, "The purchase type", type) && valid;

    if (!valid) {
        notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    return VirtualCurrencyPaymentArguments{std::move(id), std::move(type), purchaseAmount,
                                           std::move(cleanResources)};
}

std::optional<ValidatorRules::StartProgressionEventArguments> ValidatorRules::validateStartProgressionEvent(
    std::string_view eventName, const ZQBStartProgressionEventParametersLocal& parameters) {
    constexpr std::string_view method = "StartProgressionEvent";
    std::string name = cleanedAndCut(method, "The event name argument value", eventName, 40);
    bool valid = required(method, "The event name argument value", name);

    std::optional<std::string> source;
    if (parameters.source) {
        source = cleanedAndCut(method, "The source parameter value", *parameters.source, 40);
    }
    if (parameters.difficulty) {
        valid = Validator::inInterval<int64_t>(method, "The difficulty parameter value",
                                               *parameters.difficulty, 0, kMaxInt32) &&
                valid;
    }
    if (!valid) {
        notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    return StartProgressionEventArguments{std::move(name), {parameters.difficulty, std::move(source)}};
}

std::optional<ValidatorRules::FinishProgressionEventArguments> ValidatorRules::validateFinishProgressionEvent(
    std::string_view eventName, const ZQBFinishProgressionEventParametersLocal& parameters) {
    constexpr std::string_view method = "FinishProgressionEvent";
    constexpr int64_t maxAmount = std::numeric_limits<int64_t>::max();
    std::string name = cleanedAndCut(method, "The event name argument value", eventName, 40);
    const bool nameValid = required(method, "The event name argument value", name);
    const bool durationValid = Validator::inInterval<int64_t>(method, "The duration parameter value",
                                                              parameters.duration, 0, kMaxInt32);
    IntMap spent = validateResorces(method, "spent dictionary", parameters.spent, 24, 1, maxAmount);
    IntMap earned = validateResorces(method, "earned dictionary", parameters.earned, 24, 1, maxAmount);
    if (!nameValid || !durationValid) {
        notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    return FinishProgressionEventArguments{
        std::move(name),
        {parameters.successfulCompletion, parameters.duration, std::move(spent), std::move(earned)}};
}

std::optional<ValidatorRules::RealCurrencyPaymentArguments> ValidatorRules::validateRealCurrencyPayment(
    std::string_view orderId, double price, std::string_view productId, std::string_view currencyCode) {
    constexpr std::string_view method = "RealCurrencyPayment";
    constexpr std::string_view orderArgument = "The order id argument value";
    constexpr std::string_view productArgument = "The product id parameter value";
    constexpr std::string_view priceArgument = "The price argument value";

    std::string order = cleanedAndCut(method, orderArgument, orderId, 65);
    std::string product = cleanedAndCut(method, productArgument, productId, 255);
    bool valid =
        Validator::equalStringLength(method, "The currency code parameter value", cleaned(currencyCode), 3);
    valid = Validator::validateDoubleNAN(method, priceArgument, price) && valid;
    valid = Validator::inInterval(method, priceArgument, price, -kMaxDouble, kMaxDouble) && valid;
    valid = required(method, orderArgument, order) && valid;
    valid = required(method, productArgument, product) && valid;
    if (!valid) {
        notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    // The code goes on as the caller gave it; only its cleaned form was measured.
    return RealCurrencyPaymentArguments{std::move(order), price, std::move(product),
                                        std::string(currencyCode)};
}

std::optional<ValidatorRules::SubscriptionPaymentArguments> ValidatorRules::validateSubscriptionPayment(
    std::string_view productId, std::string_view transactionId) {
    constexpr std::string_view method = "SubscriptionPayment";
    constexpr std::string_view productArgument = "The product id argument value";
    constexpr std::string_view transactionArgument = "The transaction id argument value";
    std::string product = cleanedAndCut(method, productArgument, productId, 255);
    std::string transaction = cleanedAndCut(method, transactionArgument, transactionId, 255);
    const bool productValid = required(method, productArgument, product);
    const bool transactionValid = required(method, transactionArgument, transaction);
    if (!productValid || !transactionValid) {
        notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    return SubscriptionPaymentArguments{std::move(product), std::move(transaction)};
}

std::optional<std::string> ValidatorRules::validateSocialNetworkConnect(
    const ZQBSocialNetworkLocal& network) {
    constexpr std::string_view method = "SocialNetworkConnect";
    constexpr std::string_view nameArgument = "The social network name argument value";
    std::string name = cleanedAndCut(method, nameArgument, network.name, 24);
    if (!required(method, nameArgument, name)) {
        notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    return name;
}

std::optional<ValidatorRules::SocialNetworkPostArguments> ValidatorRules::validateSocialNetworkPost(
    const ZQBSocialNetworkLocal& network, std::string_view reason) {
    constexpr std::string_view method = "SocialNetworkPost";
    constexpr std::string_view nameArgument = "The social network name argument value";
    constexpr std::string_view reasonArgument = "The post reason argument value";
    std::string name = cleanedAndCut(method, nameArgument, network.name, 24);
    std::string cleanReason = cleanedAndCut(method, reasonArgument, reason, 32);
    const bool nameValid = required(method, nameArgument, name);
    const bool reasonValid = required(method, reasonArgument, cleanReason);
    if (!nameValid || !reasonValid) {
        notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    return SocialNetworkPostArguments{std::move(name), std::move(cleanReason)};
}

std::optional<ReferralData> ValidatorRules::validateReferrer(const ReferralData& utmData) {
    constexpr std::string_view method = "Referrer";
    ReferralData kept;
    for (const auto& [property, rawValue] : utmData) {
        const std::string value = cleaned(rawValue);
        const std::string argument = quoted("The [", value, "] value of the utm data dictionary by [") +
                                     Bounder::echo(property.name()) + "] key";
        std::string cutValue = *Bounder::maxStringLength(method, argument, value, 255);
        if (required(method, argument, cutValue)) {
            kept.insert_or_assign(property, std::move(cutValue));
        }
    }
    if (!Validator::notNullOrEmpty(method, "The referrer argument value",
                                   std::optional<ReferralData>(kept))) {
        notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    // Only the predefined keys are reported; a referral with none of them would be sent empty, and being
    // sent once per project, it would keep the real one from ever being sent.
    const auto predefined = [&kept] {
        for (const ZQBReferralProperty* key :
             {&ZQBReferralProperty::source(), &ZQBReferralProperty::campaign(),
              &ZQBReferralProperty::content(), &ZQBReferralProperty::medium(),
              &ZQBReferralProperty::term()}) {
            if (kept.contains(*key)) {
                return true;
            }
        }
        return false;
    };
    if (!predefined()) {
        Logger::writeLog(ZQBLogLevel::error,
                         Validator::messageHead(method) +
                             "\n\tThe referrer argument value holds no value under the source, campaign, "
                             "content, medium or term key: there is nothing to report.");
        notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    return kept;
}

std::optional<ValidatorRules::AdImpressionArguments> ValidatorRules::validateAdImpression(
    std::string_view network, double revenue, const std::optional<std::string>& placement,
    const std::optional<std::string>& unit) {
    constexpr std::string_view method = "AdImpression";
    constexpr std::string_view networkArgument = "The network argument value";
    constexpr std::string_view revenueArgument = "The revenue argument value";

    std::string cleanNetwork = cleanedAndCut(method, networkArgument, network, 100);
    // An optional text that ends up empty is left out, without a message.
    const auto optionalText = [method](const std::optional<std::string>& value,
                                       std::string_view argument) -> std::optional<std::string> {
        if (!value) {
            return std::nullopt;
        }
        std::string result = cleanedAndCut(method, argument, *value, 100);
        if (result.empty()) {
            return std::nullopt;
        }
        return result;
    };
    std::optional<std::string> cleanPlacement = optionalText(placement, "The placement argument value");
    std::optional<std::string> cleanUnit = optionalText(unit, "The unit argument value");

    bool valid = required(method, networkArgument, cleanNetwork);
    valid = Validator::validateDoubleNAN(method, revenueArgument, revenue) && valid;
    valid = Validator::inInterval(method, revenueArgument, revenue, 0.0, kMaxDouble) && valid;
    if (!valid) {
        notifyThatMethodExecutionWasCanceled(method);
        return std::nullopt;
    }
    return AdImpressionArguments{std::move(cleanNetwork), revenue, std::move(cleanPlacement),
                                 std::move(cleanUnit)};
}

}  // namespace zqb
