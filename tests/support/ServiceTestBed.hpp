#pragma once

#include "backend/Config.hpp"
#include "database/SQLiteProvider.hpp"
#include "repositories/EventRepository.hpp"
#include "repositories/ProjectRepository.hpp"
#include "repositories/RealPaymentRepository.hpp"
#include "repositories/TutorialRepository.hpp"
#include "repositories/UserRepository.hpp"
#include "support/FakeStateManager.hpp"
#include "support/ScopedEnvironment.hpp"

#include <memory>
#include <optional>
#include <string>

namespace zqb::test {

// What a service test needs around it: the test environment (manual clock and run loop, temporary data
// folder), the real database in that folder with repositories over it, and a state manager whose project and
// active user are stored rows of that database.
class ServiceTestBed {
public:
    static constexpr const char* kApplicationKey = "test-app-key";

    explicit ServiceTestBed(int64_t startMs = ManualClock::kDefaultStartMs);

    std::shared_ptr<Project> project() { return state->project; }
    std::shared_ptr<User> user() { return state->user; }

    // Stores `config` as the active project's configuration.
    void setConfig(const Config& config);
    // Stores a new, inactive user of the project.
    std::shared_ptr<User> addUser(const std::string& userId);
    // Makes a known user the active one (the previous one becomes inactive).
    void setActiveUser(const std::shared_ptr<User>& user);

    // A second connection on the same file, opened with the bed: repositories made over it read the rows as
    // a later start would, without the first connection's caches.
    const std::shared_ptr<SQLiteProvider>& observer() const { return observer_; }

    ScopedEnvironment env;  // first: the database lives in its folder
    std::shared_ptr<SQLiteProvider> database;
    std::shared_ptr<ProjectRepository> projectRepository;
    std::shared_ptr<UserRepository> userRepository;
    std::shared_ptr<EventRepository> eventRepository;
    std::shared_ptr<TutorialRepository> tutorialRepository;
    std::shared_ptr<RealPaymentRepository> realPaymentRepository;
    std::shared_ptr<FakeStateManager> state = std::make_shared<FakeStateManager>();

private:
    std::shared_ptr<SQLiteProvider> observer_;
};

}  // namespace zqb::test
