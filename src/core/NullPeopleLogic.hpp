#pragma once

#include "core/PeopleLogicProtocol.hpp"

#include <mutex>

namespace zqb {

// The user-card front until the user-card logic is built: it keeps the service it is handed and nothing
// else.
class NullPeopleLogic final : public PeopleLogicProtocol {
public:
    std::shared_ptr<PeopleServiceProtocol> peopleService() const override {
        std::lock_guard lock(mutex_);
        return peopleService_;
    }
    void setPeopleService(std::shared_ptr<PeopleServiceProtocol> peopleService) override {
        std::lock_guard lock(mutex_);
        peopleService_.swap(peopleService);
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<PeopleServiceProtocol> peopleService_;
};

}  // namespace zqb
