#pragma once

#include "model/PeopleValueType.hpp"
#include "model/User.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// The active user's card: set, increment, unset, clear and read its values after the user-card logic
// validated them, and hand the next user-card event what changed. Income queue only; the callbacks run in
// place.
class PeopleServiceProtocol {
public:
    using Action = std::function<void()>;

    virtual ~PeopleServiceProtocol() = default;

    // Called in place after the card was cleared. Installed once by the analytics logic.
    virtual void setOnClearedCard(Action action) = 0;
    // Called in place after "cheater" took a new value through `setValue` (not through increment or unset).
    virtual void setDidChangeCheaterMark(Action action) = 0;

    // The card holds changes the next user-card event reports.
    virtual bool isNeedToSend() = 0;
    // The card was cleared, and the next event reports the clearing.
    virtual bool isNeedToClear() = 0;
    // Drops the unset markers once they were reported.
    virtual void removeNulls() = 0;
    virtual void setValue(const std::string& key, const PeopleValueType& value) = 0;
    // Calls `completion` before returning, with nothing for a missing or unset key.
    virtual void getValue(const std::string& key,
                          const std::function<void(std::optional<PeopleValueType>)>& completion) = 0;
    // `value` is an Int or a Double.
    virtual void increment(const std::string& key, const PeopleValueType& value) = 0;
    virtual void unset(const std::vector<std::string>& properties) = 0;
    virtual void clearUser() = 0;
    virtual void unmarkUpdated() = 0;
    virtual void unmarkCleared() = 0;
    virtual void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) = 0;
    // The whole card or only the values changed since the last call, which forgets the changed keys.
    virtual PeopleValueMap getParameters(bool needFullCard) = 0;
};

}  // namespace zqb
