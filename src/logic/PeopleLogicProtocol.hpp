#pragma once

#include "model/PeopleValueType.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

class PeopleServiceProtocol;

// The front of the user-card calls, owned by the core from its creation. It has no service until the
// start-up operation hands it the people service.
//
// Every operation returns at once and runs later on the income queue, in call order with every other
// public call. `methodName` names the public call ("setName(name:)") in the messages of its checks.
class PeopleLogicProtocol {
public:
    using ValueCompletion = std::function<void(std::optional<PeopleValueType>)>;

    virtual ~PeopleLogicProtocol() = default;

    virtual std::shared_ptr<PeopleServiceProtocol> peopleService() const = 0;
    // On the income queue, by the start-up operation.
    virtual void setPeopleService(std::shared_ptr<PeopleServiceProtocol> peopleService) = 0;

    // A reserved key's own setter: the key is given in its canonical form with a value of its kind.
    virtual void setReservedValue(std::string key, PeopleValueType value, std::string methodName) = 0;
    virtual void setValue(std::string key, PeopleValueType value, std::string methodName) = 0;
    // `value` is an Int or a Double.
    virtual void increment(std::string key, PeopleValueType value, std::string methodName) = 0;
    // `completion` is called exactly once, on the income queue: with the stored value, or with nothing when
    // the key holds none or the call is refused.
    virtual void getValue(std::string key, ValueCompletion completion, std::string methodName) = 0;
    virtual void unset(std::vector<std::string> properties, std::string methodName) = 0;
    virtual void clearUser(std::string methodName) = 0;
};

}  // namespace zqb
