#pragma once

#include "host/Clock.hpp"
#include "host/Environment.hpp"

#include <memory>

namespace zqb::test {

// Pins the environment's clock for the lifetime of the object, so that record time stamps are known.
class EventTestClock {
public:
    explicit EventTestClock(double secondsSince1970) : clock_(std::make_shared<Fixed>(secondsSince1970)) {
        host::Environment::shared().setClock(clock_);
    }
    ~EventTestClock() { host::Environment::shared().setClock(nullptr); }
    EventTestClock(const EventTestClock&) = delete;
    EventTestClock& operator=(const EventTestClock&) = delete;

    void set(double secondsSince1970) { clock_->seconds = secondsSince1970; }

private:
    struct Fixed final : host::ClockProtocol {
        explicit Fixed(double value) : seconds(value) {}
        double secondsSince1970() const override { return seconds; }
        double seconds;
    };
    std::shared_ptr<Fixed> clock_;
};

}  // namespace zqb::test
