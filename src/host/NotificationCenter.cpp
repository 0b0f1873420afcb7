#include "host/NotificationCenter.hpp"

#include <vector>

namespace zqb::host {

NotificationCenter::Registration::~Registration() {
    if (auto center = center_.lock()) {
        center->removeObserver(id_);
    }
}

std::unique_ptr<NotificationCenter::Registration> NotificationCenter::addObserver(AppNotification name,
                                                                                  Observer observer) {
    std::lock_guard lock(mutex_);
    const uint64_t id = nextId_++;
    observers_.emplace(id, std::make_pair(name, std::make_shared<const Observer>(std::move(observer))));
    return std::make_unique<Registration>(weak_from_this(), id);
}

void NotificationCenter::removeObserver(uint64_t id) {
    std::shared_ptr<const Observer> removed;
    std::lock_guard lock(mutex_);
    auto found = observers_.find(id);
    if (found != observers_.end()) {
        removed = found->second.second;
        observers_.erase(found);
    }
}

void NotificationCenter::post(AppNotification name) {
    std::vector<std::shared_ptr<const Observer>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, entry] : observers_) {
            if (entry.first == name) {
                matching.push_back(entry.second);
            }
        }
    }
    for (const auto& observer : matching) {
        (*observer)();
    }
}

ApplicationState Application::applicationState() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void Application::setApplicationState(ApplicationState state) {
    std::lock_guard lock(mutex_);
    state_ = state;
}

}  // namespace zqb::host
