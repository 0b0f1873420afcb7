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
    auto entry = std::make_shared<Entry>();
    entry->name = name;
    entry->observer = std::move(observer);
    std::lock_guard lock(mutex_);
    const uint64_t id = nextId_++;
    observers_.emplace(id, std::move(entry));
    return std::make_unique<Registration>(weak_from_this(), id);
}

void NotificationCenter::removeObserver(uint64_t id) {
    std::shared_ptr<Entry> removed;
    {
        std::lock_guard lock(mutex_);
        auto found = observers_.find(id);
        if (found == observers_.end()) {
            return;
        }
        removed = std::move(found->second);
        observers_.erase(found);
    }
    // A post that copied the entry before the removal skips it from now on; the observer itself is
    // released outside the lock.
    removed->removed.store(true);
}

void NotificationCenter::post(AppNotification name) {
    std::vector<std::shared_ptr<Entry>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, entry] : observers_) {
            if (entry->name == name) {
                matching.push_back(entry);
            }
        }
    }
    // Observers run outside the lock, so that they may add or remove observers and post again. An observer
    // removed by an earlier one of this same post is skipped.
    for (const auto& entry : matching) {
        if (!entry->removed.load() && entry->observer) {
            entry->observer();
        }
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
