#include "logic/PeopleLogic.hpp"

#include "foundation/QueueManager.hpp"
#include "foundation/TextUtils.hpp"
#include "model/AnyCodable.hpp"
#include "services/PeopleServiceProtocol.hpp"
#include "validation/Validator.hpp"

#include <algorithm>
#include <utility>

namespace zqb {
namespace {

constexpr const char* kPeopleCode = "pl";

bool isExcluded(const std::string& key) {
    return Validator::isExcluded(kPeopleCode, AnyCodable(key));
}

// Compares letters by their ASCII lower case only: the reserved names are ASCII letters without a "k", and
// no other code point lower-cases (or is canonically equivalent) to one of them, so this is exactly a
// comparison of the Unicode lower-cased key.
bool spells(std::string_view key, std::string_view name) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::ranges::equal(key, name, {}, lower);
}

// The reserved key the key spells in any case, if any.
std::optional<PeopleReservedKeys> reservedKey(std::string_view key) {
    for (const PeopleReservedKeys reserved : PeopleReservedKeysAllCases) {
        if (spells(key, rawValue(reserved))) {
            return reserved;
        }
    }
    return std::nullopt;
}

}  // namespace

PeopleLogic::PeopleLogic(InitializationCheck validateInitialization, QueueManager& incomeQueue)
    : validateInitialization_(std::move(validateInitialization)), incomeQueue_(incomeQueue) {}

std::shared_ptr<PeopleServiceProtocol> PeopleLogic::peopleService() const {
    std::lock_guard lock(mutex_);
    return peopleService_;
}

void PeopleLogic::setPeopleService(std::shared_ptr<PeopleServiceProtocol> peopleService) {
    std::lock_guard lock(mutex_);
    peopleService_.swap(peopleService);
    // A replaced service is released after the lock.
}

std::string PeopleLogic::reservedKeyMapping(const std::string& key) {
    const auto reserved = reservedKey(key);
    return reserved ? std::string(rawValue(*reserved)) : key;
}

template <typename Body>
void PeopleLogic::enqueue(Body body) {
    postWeakly(incomeQueue_, weak_from_this(), std::move(body));
}

std::optional<PeopleValidatorRules::SetArguments> PeopleLogic::validateChanges(
    const std::string& key, const PeopleValueType& value, const std::string& methodName) const {
    if (!validateInitialization_(methodName)) {
        return std::nullopt;
    }
    const std::string cleanKey = text::removeControlCharacters(key);
    const auto reserved = reservedKey(cleanKey);
    if (reserved && !PeopleValidatorRules::validateReservedValueType(methodName, *reserved, value)) {
        return std::nullopt;
    }
    auto validated = PeopleValidatorRules::validateSet(
        methodName, reserved ? std::string(rawValue(*reserved)) : cleanKey, value);
    if (!validated || isExcluded(validated->key)) {
        return std::nullopt;
    }
    return validated;
}

void PeopleLogic::setReservedValue(std::string key, PeopleValueType value, std::string methodName) {
    enqueue([key = std::move(key), value = std::move(value),
             methodName = std::move(methodName)](const PeopleLogic& logic) {
        if (!logic.validateInitialization_(methodName)) {
            return;
        }
        const auto validated = PeopleValidatorRules::validateSet(methodName, key, value);
        if (!validated || isExcluded(validated->key)) {
            return;
        }
        if (const auto service = logic.peopleService()) {
            service->setValue(validated->key, validated->value);
        }
    });
}

void PeopleLogic::setValue(std::string key, PeopleValueType value, std::string methodName) {
    change(std::move(key), std::move(value), std::move(methodName), &PeopleServiceProtocol::setValue);
}

void PeopleLogic::increment(std::string key, PeopleValueType value, std::string methodName) {
    change(std::move(key), std::move(value), std::move(methodName), &PeopleServiceProtocol::increment);
}

void PeopleLogic::change(std::string key, PeopleValueType value, std::string methodName, Change operation) {
    enqueue([key = std::move(key), value = std::move(value), methodName = std::move(methodName),
             operation](const PeopleLogic& logic) {
        const auto validated = logic.validateChanges(key, value, methodName);
        const auto service = logic.peopleService();
        if (validated && service) {
            ((*service).*operation)(validated->key, validated->value);
        }
    });
}

void PeopleLogic::getValue(std::string key, ValueCompletion completion, std::string methodName) {
    if (!completion) {
        completion = [](std::optional<PeopleValueType>) {};
    }
    incomeQueue_.addOperation([weak = weak_from_this(), key = std::move(key),
                               completion = std::move(completion), methodName = std::move(methodName)] {
        // A logic released meanwhile still answers: the caller may be waiting for it.
        if (const auto self = weak.lock()) {
            self->serveGetValue(key, completion, methodName);
        } else {
            completion(std::nullopt);
        }
    });
}

void PeopleLogic::serveGetValue(const std::string& key, const ValueCompletion& completion,
                                const std::string& methodName) const {
    if (!validateInitialization_(methodName)) {
        completion(std::nullopt);
        return;
    }
    const auto validated = PeopleValidatorRules::validateKey(methodName, key);
    const auto service = peopleService();
    if (!validated || !service) {
        completion(std::nullopt);
        return;
    }
    service->getValue(reservedKeyMapping(*validated), completion);
}

void PeopleLogic::unset(std::vector<std::string> properties, std::string methodName) {
    enqueue(
        [properties = std::move(properties), methodName = std::move(methodName)](const PeopleLogic& logic) {
            if (!logic.validateInitialization_(methodName)) {
                return;
            }
            std::vector<std::string> mapped;
            mapped.reserve(properties.size());
            for (const std::string& key : properties) {
                mapped.push_back(reservedKeyMapping(text::removeControlCharacters(key)));
            }
            auto validated = PeopleValidatorRules::validateUnset(methodName, mapped);
            if (!validated) {
                return;
            }
            std::erase_if(*validated, isExcluded);
            const auto service = logic.peopleService();
            if (!validated->empty() && service) {
                service->unset(*validated);
            }
        });
}

void PeopleLogic::clearUser(std::string methodName) {
    enqueue([methodName = std::move(methodName)](const PeopleLogic& logic) {
        if (!logic.validateInitialization_(methodName)) {
            return;
        }
        if (const auto service = logic.peopleService()) {
            service->clearUser();
        }
    });
}

}  // namespace zqb
