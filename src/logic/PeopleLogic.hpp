#pragma once

#include "foundation/QueueManager.hpp"
#include "logic/PeopleLogicProtocol.hpp"
#include "validation/PeopleValidatorRules.hpp"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// The rules of the user-card calls. Each call becomes one operation on the income queue that owns a copy of
// the arguments and holds the logic weakly (a logic released meanwhile does nothing; a read then answers
// nothing). On the queue the operation checks that the SDK is initialised, applies the user-card rules,
// maps a key that spells a reserved key in any case ("AGE") to that key, drops keys the project's
// configuration excludes under the code "pl" (reading excludes nothing) and hands the cleaned call to the
// people service. Keys lose their control characters before the mapping, so that every operation finds a
// value under the key it was written with.
//
// Must be owned by a `std::shared_ptr`.
class PeopleLogic final : public PeopleLogicProtocol, public std::enable_shared_from_this<PeopleLogic> {
public:
    // True when the SDK is initialised; otherwise logs the not-initialised ERROR naming the method.
    using InitializationCheck = std::function<bool(const std::string& methodName)>;

    explicit PeopleLogic(InitializationCheck validateInitialization, QueueManager& incomeQueue);

    std::shared_ptr<PeopleServiceProtocol> peopleService() const override;
    void setPeopleService(std::shared_ptr<PeopleServiceProtocol> peopleService) override;

    void setReservedValue(std::string key, PeopleValueType value, std::string methodName) override;
    void setValue(std::string key, PeopleValueType value, std::string methodName) override;
    void increment(std::string key, PeopleValueType value, std::string methodName) override;
    void getValue(std::string key, ValueCompletion completion, std::string methodName) override;
    void unset(std::vector<std::string> properties, std::string methodName) override;
    void clearUser(std::string methodName) override;

private:
    // The canonical name of a reserved key spelled in any case; any other key as it is.
    static std::string reservedKeyMapping(const std::string& key);

    using Change = void (PeopleServiceProtocol::*)(const std::string& key, const PeopleValueType& value);

    // Queues `body(logic)` to run while the logic still exists.
    template <typename Body>
    void enqueue(Body body);
    // Set and increment: `operation` of the service with the arguments `validateChanges` lets through.
    void change(std::string key, PeopleValueType value, std::string methodName, Change operation);

    // The checks of set and increment: initialised, the kind a reserved key takes, the set rule, not
    // excluded. Nothing when any of them refuses.
    std::optional<PeopleValidatorRules::SetArguments> validateChanges(const std::string& key,
                                                                      const PeopleValueType& value,
                                                                      const std::string& methodName) const;
    void serveGetValue(const std::string& key, const ValueCompletion& completion,
                       const std::string& methodName) const;

    const InitializationCheck validateInitialization_;
    QueueManager& incomeQueue_;
    // Set on the income queue by the start-up operation, readable from any thread.
    mutable std::mutex mutex_;
    std::shared_ptr<PeopleServiceProtocol> peopleService_;
};

}  // namespace zqb
