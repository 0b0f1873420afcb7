#include <ZQBAnalytics/ZQBUserCard.hpp>

#include "api/GuardedHandler.hpp"
#include "core/Core.hpp"
#include "foundation/TextUtils.hpp"
#include "logic/PeopleLogicProtocol.hpp"
#include "model/PeopleValueType.hpp"

#include <utility>

namespace {

using zqb::guarded;
using zqb::PeopleValueType;
using zqb::text::repairUtf8;
using Stored = std::optional<PeopleValueType>;

// Every member starts here: the shared core (created when absent) and its user-card front, held for the
// whole call, as a destroy running meanwhile may release the core.
std::shared_ptr<zqb::PeopleLogicProtocol> peopleLogic() {
    return zqb::Core::shared()->peopleLogic();
}

void setReserved(const char* key, PeopleValueType value, const char* method) {
    peopleLogic()->setReservedValue(key, std::move(value), method);
}

void setAny(std::string_view key, PeopleValueType value) {
    peopleLogic()->setValue(repairUtf8(key), std::move(value), "set(key:value:)");
}

void incrementAny(std::string_view key, PeopleValueType value) {
    peopleLogic()->increment(repairUtf8(key), std::move(value), "increment(key:value:)");
}

// Reads `key` and answers `handler` with what `convert` makes of the stored value (nothing included).
template <typename T, typename Handler, typename Convert>
void get(std::string key, const char* method, Handler handler, Convert convert) {
    auto answer = guarded<T>(std::move(handler), method);
    peopleLogic()->getValue(
        std::move(key), [answer = std::move(answer), convert](Stored value) { answer(convert(value)); },
        method);
}

std::string storedText(const Stored& value) {
    return value ? value->toString().value_or("") : "";
}

// A gender (held only until the card is next read from the database, where it is an Int) reads as its raw
// value. Each alternative is built in place.
std::optional<ZQBUserCard::Value> plainValue(const Stored& value) {
    std::optional<ZQBUserCard::Value> plain;
    if (!value) {
        return plain;
    }
    if (auto text = value->toString()) {
        plain.emplace(std::in_place_type<std::string>, std::move(*text));
    } else if (const auto number = value->intValue()) {
        plain.emplace(std::in_place_type<int64_t>, *number);
    } else if (const auto real = value->doubleValue()) {
        plain.emplace(std::in_place_type<double>, *real);
    } else if (const auto flag = value->boolValue()) {
        plain.emplace(std::in_place_type<bool>, *flag);
    } else if (const auto gender = value->genderValue()) {
        plain.emplace(std::in_place_type<int64_t>, static_cast<int64_t>(*gender));
    }
    return plain;
}

}  // namespace

// ---- Reserved keys ---------------------------------------------------------------------------------------

void ZQBUserCard::setName(std::string_view name) {
    setReserved("name", repairUtf8(name), "setName(name:)");
}

void ZQBUserCard::getName(StringHandler completionHandler) {
    get<const std::string&>("name", "getName(completionHandler:)", std::move(completionHandler), storedText);
}

void ZQBUserCard::setEmail(std::string_view email) {
    setReserved("email", repairUtf8(email), "setEmail(email:)");
}

void ZQBUserCard::getEmail(StringHandler completionHandler) {
    get<const std::string&>("email", "getEmail(completionHandler:)", std::move(completionHandler),
                            storedText);
}

void ZQBUserCard::setPhone(std::string_view phone) {
    setReserved("phone", repairUtf8(phone), "setPhone(phone:)");
}

void ZQBUserCard::getPhone(StringHandler completionHandler) {
    get<const std::string&>("phone", "getPhone(completionHandler:)", std::move(completionHandler),
                            storedText);
}

void ZQBUserCard::setPhoto(std::string_view photo) {
    setReserved("photo", repairUtf8(photo), "setPhoto(photo:)");
}

void ZQBUserCard::getPhoto(StringHandler completionHandler) {
    get<const std::string&>("photo", "getPhoto(completionHandler:)", std::move(completionHandler),
                            storedText);
}

void ZQBUserCard::setGender(ZQBGender gender) {
    // Checked on the queue to be one of the cases and stored as its raw value.
    setReserved("gender", gender, "setGender(gender:)");
}

void ZQBUserCard::getGender(GenderHandler completionHandler) {
    get<ZQBGender>(
        "gender", "getGender(completionHandler:)", std::move(completionHandler), [](const Stored& value) {
            if (!value) {
                return ZQBGender::unknown;
            }
            // A gender value (not an Int) can only be held until the card is next read from the
            // database, where it is an Int: both read the same.
            if (const auto gender = value->genderValue()) {
                return *gender;
            }
            return ZQBGenderFromRawValue(value->intValue().value_or(0)).value_or(ZQBGender::unknown);
        });
}

void ZQBUserCard::setAge(int64_t age) {
    setReserved("age", age, "setAge(age:)");
}

void ZQBUserCard::getAge(IntHandler completionHandler) {
    get<int64_t>("age", "getAge(completionHandler:)", std::move(completionHandler),
                 [](const Stored& value) { return value ? value->intValue().value_or(0) : 0; });
}

void ZQBUserCard::setCheater(bool cheater) {
    setReserved("cheater", cheater, "setCheater(cheater:)");
}

void ZQBUserCard::getCheater(BoolHandler completionHandler) {
    get<bool>("cheater", "getCheater(completionHandler:)", std::move(completionHandler),
              [](const Stored& value) { return value && value->boolValue().value_or(false); });
}

// ---- Any key ---------------------------------------------------------------------------------------------

void ZQBUserCard::set(std::string_view key, std::string_view value) {
    setAny(key, repairUtf8(value));
}

void ZQBUserCard::set(std::string_view key, const char* value) {
    // A null text is an empty one, which the rules refuse.
    set(key, std::string_view(value ? value : ""));
}

void ZQBUserCard::set(std::string_view key, bool value) {
    setAny(key, value);
}

void ZQBUserCard::set(std::string_view key, int64_t value) {
    setAny(key, value);
}

void ZQBUserCard::set(std::string_view key, double value) {
    setAny(key, value);
}

void ZQBUserCard::getValue(std::string_view key, ValueHandler handler) {
    get<const std::optional<Value>&>(repairUtf8(key), "getValue(key:_:)", std::move(handler), plainValue);
}

void ZQBUserCard::increment(std::string_view key, int64_t value) {
    incrementAny(key, value);
}

void ZQBUserCard::increment(std::string_view key, double value) {
    incrementAny(key, value);
}

void ZQBUserCard::unset(std::string_view property) {
    peopleLogic()->unset({repairUtf8(property)}, "unset(property:)");
}

void ZQBUserCard::unset(const std::vector<std::string>& properties) {
    std::vector<std::string> keys;
    keys.reserve(properties.size());
    for (const std::string& property : properties) {
        keys.push_back(repairUtf8(property));
    }
    peopleLogic()->unset(std::move(keys), "unset(properties:)");
}

void ZQBUserCard::unset(std::initializer_list<std::string_view> properties) {
    unset(std::vector<std::string>(properties.begin(), properties.end()));
}

void ZQBUserCard::clearUser() {
    peopleLogic()->clearUser("clearUser()");
}
