#include "support/ScopedEnvironment.hpp"

#include "host/Environment.hpp"

#include <string>

namespace zqb::test {

ScopedEnvironment::ScopedEnvironment(int64_t startMs)
    : clock_(std::make_shared<ManualClock>(startMs)),
      runLoop_(std::make_shared<ManualRunLoop>(clock_)),
      notificationCenter_(std::make_shared<host::NotificationCenter>()),
      application_(std::make_shared<host::Application>(host::ApplicationState::active)),
      bundle_(std::make_shared<host::Bundle>(
          host::BundleInfo{kBundleName, kBundleIdentifier, kBundleVersion, kBundleBuild})),
      files_(std::make_shared<host::Files>([] { return std::string(kBundleIdentifier); })) {
    files_->setApplicationSupportDirectory(directory_.path());
    auto& environment = host::Environment::shared();
    environment.setClock(clock_);
    environment.setRunLoop(runLoop_);
    environment.setDelayedScheduler(runLoop_);
    environment.setNotificationCenter(notificationCenter_);
    environment.setApplication(application_);
    environment.setBundle(bundle_);
    environment.setFiles(files_);
    environment.setKeychain(keychain_);
    environment.setDevice(device_);
    environment.setAdvertising(advertising_);
}

ScopedEnvironment::~ScopedEnvironment() {
    host::Environment::shared().reset();
}

void useOwnClockAndFolder(host::Environment& environment, std::shared_ptr<ManualClock> clock,
                          const std::filesystem::path& folder) {
    const auto& shared = host::Environment::shared();
    auto files =
        std::make_shared<host::Files>([] { return std::string(ScopedEnvironment::kBundleIdentifier); });
    files->setApplicationSupportDirectory(folder);
    environment.setClock(std::move(clock));
    environment.setFiles(std::move(files));
    environment.setRunLoop(shared.runLoop());
    environment.setDelayedScheduler(shared.delayedScheduler());
    environment.setNotificationCenter(shared.notificationCenter());
    environment.setApplication(shared.application());
    environment.setBundle(shared.bundle());
    environment.setHttpSession(shared.httpSession());
    environment.setKeychain(shared.keychain());
    environment.setDevice(shared.device());
    environment.setAdvertising(shared.advertising());
    environment.setStoreKit(shared.storeKit());
}

}  // namespace zqb::test
