#include "services/PeopleService.hpp"

#include "foundation/Logger.hpp"
#include "model/CanonicalKey.hpp"

#include <algorithm>
#include <limits>

namespace zqb {

namespace {

constexpr const char* kCheaterKey = "cheater";

void logOverflow(const std::string& key) {
    Logger::writeLog(ZQBLogLevel::error, "[User Card] The incremented value [" + key + "] caused overflow");
}

void logSet(const std::string& key, const PeopleValueType& value) {
    Logger::writeLog(ZQBLogLevel::info, "[User Card] Value [" + value.description() + "] for the key [" +
                                            key + "] was set successfully");
}

}  // namespace

PeopleService::PeopleService(std::shared_ptr<StateManagerProtocol> stateManager,
                             std::shared_ptr<PeopleRepository> peopleRepository)
    : stateManager_(std::move(stateManager)), peopleRepository_(std::move(peopleRepository)) {}

void PeopleService::setOnClearedCard(Action action) {
    onClearedCard_ = std::move(action);
}

void PeopleService::setDidChangeCheaterMark(Action action) {
    didChangeCheaterMark_ = std::move(action);
}

std::shared_ptr<PeopleCard> PeopleService::card() {
    const int64_t userIdKey = stateManager_->getActiveUser()->idKey;
    for (const auto& stored : peopleRepository_->list()) {
        if (stored->userId == userIdKey) {
            return stored;
        }
    }
    // Used even when the insert stores no row: the operation still takes effect in memory.
    auto created = std::make_shared<PeopleCard>(userIdKey);
    peopleRepository_->insert(created);
    return created;
}

void PeopleService::save(const std::shared_ptr<PeopleCard>& card) {
    card->json = dictionaryJson(card->properties);
    card->updated = true;
    peopleRepository_->update(card);
}

void PeopleService::addChangedKey(PeopleCard& card, const std::string& key) {
    // Keys are compared the way the card's map compares them, so that a value written under one spelling
    // of a key is reported whichever spelling changed it.
    const bool known = std::any_of(card.changedKeys.begin(), card.changedKeys.end(),
                                   [&](const std::string& changed) { return sameKey(changed, key); });
    if (!known) {
        card.changedKeys.push_back(key);
    }
}

bool PeopleService::isNeedToSend() {
    return card()->updated;
}

bool PeopleService::isNeedToClear() {
    return card()->cleared;
}

void PeopleService::removeNulls() {
    const auto current = card();
    std::erase_if(current->properties, [](const auto& entry) { return entry.second.isNull(); });
    save(current);
}

void PeopleService::setValue(const std::string& key, const PeopleValueType& value) {
    const auto current = card();
    const auto stored = current->properties.find(key);
    if (stored != current->properties.end() && value.isEqual(stored->second)) {
        return;
    }
    current->properties.insert_or_assign(key, value);
    addChangedKey(*current, key);
    save(current);
    logSet(key, value);
    if (key == kCheaterKey && didChangeCheaterMark_) {
        didChangeCheaterMark_();
    }
}

void PeopleService::getValue(const std::string& key,
                             const std::function<void(std::optional<PeopleValueType>)>& completion) {
    const auto current = card();
    const auto stored = current->properties.find(key);
    std::optional<PeopleValueType> value;
    if (stored != current->properties.end() && !stored->second.isNull()) {
        value = stored->second;
    }
    if (completion) {
        completion(std::move(value));
    }
}

void PeopleService::increment(const std::string& key, const PeopleValueType& value) {
    const auto current = card();
    const auto stored = current->properties.find(key);
    if (stored == current->properties.end()) {
        current->properties.insert_or_assign(key, value);
        addChangedKey(*current, key);
        logSet(key, value);
        save(current);
        return;
    }
    const PeopleValueType& saved = stored->second;
    std::optional<PeopleValueType> result;
    if ((saved.isDouble() || saved.isInt()) && value.isDouble()) {
        result = incrementDouble(key, saved, value);
    } else if (saved.isDouble() && value.isInt()) {
        result = incrementDouble(key, saved, value);
    } else if (saved.isInt() && value.isInt()) {
        result = incrementInt(key, saved, value);
    }
    if (result) {
        stored->second = *result;
        addChangedKey(*current, key);
        Logger::writeLog(ZQBLogLevel::info, "[User Card] New value [" + result->description() +
                                                "] for the key [" + key + "] was successfully incremented");
    } else {
        Logger::writeLog(ZQBLogLevel::error,
                         "[User Card] In the increment method an error has occurred: \n\tValue [" +
                             saved.description() + "] type does not match the increment value [" +
                             value.description() + "]");
    }
    // Written also after a mismatch: the card is marked updated either way.
    save(current);
}

PeopleValueType PeopleService::incrementInt(const std::string& key, const PeopleValueType& saved,
                                            const PeopleValueType& someInt) {
    const int64_t a = saved.toInt();
    const int64_t b = someInt.toInt();
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        logOverflow(key);
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    }
    return sum;
}

PeopleValueType PeopleService::incrementDouble(const std::string& key, const PeopleValueType& saved,
                                               const PeopleValueType& someDouble) {
    constexpr double greatest = std::numeric_limits<double>::max();
    const double sum = saved.toDouble() + someDouble.toDouble();
    if (sum >= greatest) {
        logOverflow(key);
        return greatest;
    }
    if (sum <= -greatest) {
        logOverflow(key);
        return -greatest;
    }
    return sum;
}

void PeopleService::unset(const std::vector<std::string>& properties) {
    const auto current = card();
    std::string joined;
    for (std::size_t index = 0; index < properties.size(); ++index) {
        const std::string& key = properties[index];
        current->properties.insert_or_assign(key, PeopleValueType::null());
        addChangedKey(*current, key);
        joined += (index == 0 ? "" : ",") + key;
    }
    Logger::writeLog(ZQBLogLevel::info,
                     "[User Card] Properties for key [" + joined + "] were successfully unset");
    save(current);
}

void PeopleService::clearUser() {
    const auto current = card();
    std::optional<PeopleValueType> cheater;
    if (const auto stored = current->properties.find(kCheaterKey); stored != current->properties.end()) {
        cheater = stored->second;
    }
    current->properties.clear();
    current->cleared = true;
    if (cheater) {
        current->properties.insert_or_assign(kCheaterKey, *cheater);
    }
    save(current);
    if (onClearedCard_) {
        onClearedCard_();
    }
    Logger::writeLog(ZQBLogLevel::info, "[User Card] All user data was successfully cleared");
}

void PeopleService::unmarkUpdated() {
    const auto current = card();
    current->updated = false;
    peopleRepository_->update(current);
}

void PeopleService::unmarkCleared() {
    const auto current = card();
    current->cleared = false;
    peopleRepository_->update(current);
}

void PeopleService::removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) {
    peopleRepository_->deleteForDataForUsers(User::idKeys(users));
}

PeopleValueMap PeopleService::getParameters(bool needFullCard) {
    const auto current = card();
    PeopleValueMap parameters;
    if (needFullCard) {
        parameters = current->properties;
    } else {
        for (const auto& [key, value] : current->properties) {
            const bool changed =
                std::any_of(current->changedKeys.begin(), current->changedKeys.end(),
                            [&key = key](const std::string& changedKey) { return sameKey(changedKey, key); });
            if (changed) {
                parameters.insert_or_assign(key, value);
            }
        }
    }
    current->changedKeys.clear();
    peopleRepository_->update(current);
    return parameters;
}

}  // namespace zqb
