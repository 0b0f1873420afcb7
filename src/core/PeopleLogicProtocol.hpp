#pragma once

#include <memory>

namespace zqb {

class PeopleServiceProtocol;

// The front of the user-card calls, owned by the core from its creation. It has no service until the
// start-up operation hands it the people service; the user-card operations join here with the logic that
// implements them.
class PeopleLogicProtocol {
public:
    virtual ~PeopleLogicProtocol() = default;

    virtual std::shared_ptr<PeopleServiceProtocol> peopleService() const = 0;
    // On the income queue, by the start-up operation.
    virtual void setPeopleService(std::shared_ptr<PeopleServiceProtocol> peopleService) = 0;
};

}  // namespace zqb
