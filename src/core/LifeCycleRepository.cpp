#include "core/LifeCycleRepository.hpp"

namespace zqb {

LifeCycleRepository::LifeCycleRepository(std::shared_ptr<ApplicationLifeCycle> lifecycle)
    : lifecycle_(std::move(lifecycle)) {}

void LifeCycleRepository::setLifeCycleListener(std::weak_ptr<LifeCycleProtocol> listener) {
    lifecycle_->setLifeCycleListener(std::move(listener));
}

}  // namespace zqb
