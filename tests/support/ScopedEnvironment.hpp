#pragma once

#include "host/Bundle.hpp"
#include "host/Files.hpp"
#include "host/MemoryKeychain.hpp"
#include "host/NotificationCenter.hpp"
#include "support/FakeAdvertising.hpp"
#include "support/FakeDevice.hpp"
#include "support/ManualClock.hpp"
#include "support/ManualRunLoop.hpp"
#include "support/TempDir.hpp"

#include <filesystem>
#include <memory>

namespace zqb::host {
class Environment;
}

namespace zqb::test {

// Installs test stand-ins into `host::Environment::shared()` for its lifetime: the manual clock, the manual
// run loop (as both run loop and delayed scheduler), a fresh notification centre and application (active),
// a fixed bundle, files whose application-support directory is a fresh temporary directory, an in-memory
// keychain, and fixed device and advertising facts (nothing reaches the user's real data directory). On
// destruction the environment is reset to the Linux defaults and the directory is removed.
class ScopedEnvironment {
public:
    static constexpr const char* kBundleName = "ZQBTestApp";
    static constexpr const char* kBundleIdentifier = "com.example.zqbtestapp";
    static constexpr const char* kBundleVersion = "1.2.3";
    static constexpr const char* kBundleBuild = "45";

    explicit ScopedEnvironment(int64_t startMs = ManualClock::kDefaultStartMs);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    ManualClock& clock() { return *clock_; }
    ManualRunLoop& runLoop() { return *runLoop_; }
    host::NotificationCenter& notificationCenter() { return *notificationCenter_; }
    host::Application& application() { return *application_; }
    host::Bundle& bundle() { return *bundle_; }
    host::Files& files() { return *files_; }
    host::MemoryKeychain& keychain() { return *keychain_; }
    FakeDevice& device() { return *device_; }
    FakeAdvertising& advertising() { return *advertising_; }
    // The application-support directory (the temporary directory itself).
    const std::filesystem::path& directory() const { return directory_.path(); }

    // Shorthand for `runLoop().advance(ms)`.
    std::size_t advance(int64_t ms) { return runLoop_->advance(ms); }

    // Posts a life-cycle notification on the calling thread; the application state is set separately.
    void post(host::AppNotification notification) { notificationCenter_->post(notification); }

private:
    TempDir directory_;  // declared first: removed last
    std::shared_ptr<ManualClock> clock_;
    std::shared_ptr<ManualRunLoop> runLoop_;
    std::shared_ptr<host::NotificationCenter> notificationCenter_;
    std::shared_ptr<host::Application> application_;
    std::shared_ptr<host::Bundle> bundle_;
    std::shared_ptr<host::Files> files_;
    std::shared_ptr<host::MemoryKeychain> keychain_ = std::make_shared<host::MemoryKeychain>();
    std::shared_ptr<FakeDevice> device_ = std::make_shared<FakeDevice>();
    std::shared_ptr<FakeAdvertising> advertising_ = std::make_shared<FakeAdvertising>();
};

// Makes `environment` an environment of its own on `clock` and on files in `folder`, lending it the
// process-wide stand-ins for everything else: a graph built over it shows whatever still reads the
// process-wide clock or folders.
void useOwnClockAndFolder(host::Environment& environment, std::shared_ptr<ManualClock> clock,
                          const std::filesystem::path& folder);

}  // namespace zqb::test
