#pragma once

#include "logic/LifeCycleProtocol.hpp"

#include <memory>

namespace zqb {

class ApplicationLifeCycle;

// The holder of the application life-cycle observer, as the core factory and the analytics logic see it.
class LifeCycleRepositoryProtocol {
public:
    virtual ~LifeCycleRepositoryProtocol() = default;

    virtual std::shared_ptr<ApplicationLifeCycle> lifecycle() const = 0;
    // Sets or, with an empty pointer, clears the life cycle's weak listener.
    virtual void setLifeCycleListener(std::weak_ptr<LifeCycleProtocol> listener) = 0;
    // True while the application is in the background.
    virtual bool isApplicationInBackground() const = 0;
    // True while the application is active (neither inactive nor in the background).
    virtual bool isApplicationActive() const = 0;
};

}  // namespace zqb
