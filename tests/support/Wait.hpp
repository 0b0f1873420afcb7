#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace zqb::test {

// Polls `condition` until it holds or `timeout` passes; for waiting on another thread's work, never on time.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace zqb::test
