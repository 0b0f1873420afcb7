#pragma once

#include "model/PeopleCard.hpp"
#include "model/PeopleValueType.hpp"
#include "model/User.hpp"
#include "repositories/PeopleRepository.hpp"
#include "services/PeopleServiceProtocol.hpp"
#include "services/StateManagerProtocol.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

class PeopleService final : public PeopleServiceProtocol {
public:
    PeopleService(std::shared_ptr<StateManagerProtocol> stateManager,
                  std::shared_ptr<PeopleRepository> peopleRepository);

    void setOnClearedCard(Action action) override;
    void setDidChangeCheaterMark(Action action) override;
    bool isNeedToSend() override;
    bool isNeedToClear() override;
    void removeNulls() override;
    void setValue(const std::string& key, const PeopleValueType& value) override;
    void getValue(const std::string& key,
                  const std::function<void(std::optional<PeopleValueType>)>& completion) override;
    void increment(const std::string& key, const PeopleValueType& value) override;
    void unset(const std::vector<std::string>& properties) override;
    void clearUser() override;
    void unmarkUpdated() override;
    void unmarkCleared() override;
    void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) override;
    PeopleValueMap getParameters(bool needFullCard) override;

    // The sums of `increment`: saturating at the Int64 bounds, and at the greatest finite Double.
    static PeopleValueType incrementInt(const std::string& key, const PeopleValueType& saved,
                                        const PeopleValueType& someInt);
    static PeopleValueType incrementDouble(const std::string& key, const PeopleValueType& saved,
                                           const PeopleValueType& someDouble);

private:
    // The active user's card, created and inserted when missing.
    std::shared_ptr<PeopleCard> card();
    void save(const std::shared_ptr<PeopleCard>& card);
    static void addChangedKey(PeopleCard& card, const std::string& key);

    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<PeopleRepository> peopleRepository_;
    Action onClearedCard_;
    Action didChangeCheaterMark_;
};

}  // namespace zqb
