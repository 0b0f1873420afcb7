#include "support/ServiceTestBed.hpp"

#include "services/ProjectConfiguration.hpp"
#include "support/SharedDatabase.hpp"

#include <algorithm>

namespace zqb::test {

ServiceTestBed::ServiceTestBed(int64_t startMs)
    : env(startMs),
      database(zqb::test::sharedDatabase()),
      projectRepository(std::make_shared<ProjectRepository>(database, environmentClock())),
      userRepository(std::make_shared<UserRepository>(database)),
      eventRepository(std::make_shared<EventRepository>(database)),
      tutorialRepository(std::make_shared<TutorialRepository>(database)),
      realPaymentRepository(std::make_shared<RealPaymentRepository>(database)),
      observer_(zqb::test::sharedDatabase()) {
    state->project = std::make_shared<Project>(kApplicationKey);
    projectRepository->insert(state->project);
    state->user->idKey = -1;
    state->user->projectId = state->project->idKey;
    userRepository->insert(state->user);
    state->project->activeUserId = state->user->idKey;
    projectRepository->update(state->project);
    state->deviceIdentifiers->projectId = state->project->idKey;
}

void ServiceTestBed::setConfig(const Config& config) {
    state->project->configurationJson = ProjectConfiguration::encode(config, env.clock());
    projectRepository->update(state->project);
}

std::shared_ptr<User> ServiceTestBed::addUser(const std::string& userId) {
    auto user = std::make_shared<User>(state->project->idKey, userId, false);
    userRepository->insert(user);
    state->otherUsers.push_back(user);
    return user;
}

void ServiceTestBed::setActiveUser(const std::shared_ptr<User>& user) {
    if (user == state->user) {
        return;
    }
    std::erase(state->otherUsers, user);
    state->otherUsers.push_back(state->user);
    state->user = user;
    state->project->activeUserId = user->idKey;
    projectRepository->update(state->project);
}

}  // namespace zqb::test
