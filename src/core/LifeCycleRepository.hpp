#pragma once

#include "core/ApplicationLifeCycle.hpp"
#include "logic/LifeCycleRepositoryProtocol.hpp"

namespace zqb {

// Holds the one `ApplicationLifeCycle` of a core, which the core made in `initialize`, for the graph that
// the start-up builds, until destroy.
class LifeCycleRepository final : public LifeCycleRepositoryProtocol {
public:
    explicit LifeCycleRepository(std::shared_ptr<ApplicationLifeCycle> lifecycle);

    std::shared_ptr<ApplicationLifeCycle> lifecycle() const override { return lifecycle_; }
    void setLifeCycleListener(std::weak_ptr<LifeCycleProtocol> listener) override;
    bool isApplicationInBackground() const override { return lifecycle_->isApplicationInBackground(); }
    bool isApplicationActive() const override { return lifecycle_->isApplicationActive(); }

private:
    std::shared_ptr<ApplicationLifeCycle> lifecycle_;
};

}  // namespace zqb
