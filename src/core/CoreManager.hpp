#pragma once

#include "core/CoreManagerProtocol.hpp"
#include "host/Clock.hpp"

#include <string>

namespace zqb {

class ProjectRepository;
class UserRepository;

// Holds the validated application key and the project and user repositories. Each user decision is made
// by a short-lived `CoreHelper`.
class CoreManager final : public CoreManagerProtocol {
public:
    CoreManager(std::string applicationKey, std::shared_ptr<ProjectRepository> projectRepository,
                std::shared_ptr<UserRepository> userRepository,
                std::shared_ptr<const host::ClockProtocol> clock);

    std::shared_ptr<Project> createOrActivateProject() override;
    // The stored project of the application key, if there is one; creates nothing.
    std::shared_ptr<Project> storedProject() const;
    std::shared_ptr<User> createOrActivateUser(const std::string& userId,
                                               const std::shared_ptr<Project>& project,
                                               bool setByDefault) override;
    std::shared_ptr<User> createOrActivateDefaultUser(const std::string& userId,
                                                      const std::shared_ptr<Project>& project) override;
    void setOnIdentifiersReset(IdentifiersReset closure) override {
        onIdentifiersReset_ = std::move(closure);
    }

    const std::string& applicationKey() const { return applicationKey_; }
    const std::shared_ptr<ProjectRepository>& projectRepository() const { return projectRepository_; }
    std::shared_ptr<UserRepository> userRepository() const override { return userRepository_; }

private:
    std::function<void()> resetClosure() const;

    const std::string applicationKey_;
    const std::shared_ptr<ProjectRepository> projectRepository_;
    const std::shared_ptr<UserRepository> userRepository_;
    const std::shared_ptr<const host::ClockProtocol> clock_;
    IdentifiersReset onIdentifiersReset_;
};

}  // namespace zqb
