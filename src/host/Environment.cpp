#include "host/Environment.hpp"

#include "host/CurlHttpSession.hpp"
#include "host/FileKeychain.hpp"
#include "host/ThreadRunLoop.hpp"

namespace zqb::host {

Environment& Environment::shared() {
    // Never destroyed: worker threads may read it while the process exits.
    static Environment* instance = new Environment();
    return *instance;
}

std::shared_ptr<ClockProtocol> Environment::clock() const {
    return getOrMake(clock_, [] { return std::make_shared<SystemClock>(); });
}
void Environment::setClock(std::shared_ptr<ClockProtocol> clock) {
    replace(clock_, std::move(clock));
}

std::shared_ptr<RunLoopProtocol> Environment::runLoop() const {
    return getOrMake(runLoop_, [] { return std::make_shared<ThreadRunLoop>("run loop"); });
}
void Environment::setRunLoop(std::shared_ptr<RunLoopProtocol> runLoop) {
    replace(runLoop_, std::move(runLoop));
}

std::shared_ptr<DelayedSchedulerProtocol> Environment::delayedScheduler() const {
    return getOrMake(delayedScheduler_, [] { return std::make_shared<ThreadRunLoop>("delayed scheduler"); });
}
void Environment::setDelayedScheduler(std::shared_ptr<DelayedSchedulerProtocol> scheduler) {
    replace(delayedScheduler_, std::move(scheduler));
}

std::shared_ptr<NotificationCenter> Environment::notificationCenter() const {
    return getOrMake(notificationCenter_, [] { return std::make_shared<NotificationCenter>(); });
}
void Environment::setNotificationCenter(std::shared_ptr<NotificationCenter> center) {
    replace(notificationCenter_, std::move(center));
}

std::shared_ptr<ApplicationProtocol> Environment::application() const {
    return getOrMake(application_, [] { return std::make_shared<Application>(); });
}
void Environment::setApplication(std::shared_ptr<ApplicationProtocol> application) {
    replace(application_, std::move(application));
}

std::shared_ptr<BundleProtocol> Environment::bundle() const {
    return getOrMake(bundle_, [] { return std::make_shared<Bundle>(); });
}
void Environment::setBundle(std::shared_ptr<BundleProtocol> bundle) {
    replace(bundle_, std::move(bundle));
}

std::shared_ptr<FilesProtocol> Environment::files() const {
    return getOrMake(
        files_, [this] { return std::make_shared<Files>([this] { return bundle()->info().identifier; }); });
}
void Environment::setFiles(std::shared_ptr<FilesProtocol> files) {
    replace(files_, std::move(files));
}

std::shared_ptr<HttpSessionProtocol> Environment::httpSession() const {
    {
        std::lock_guard lock(mutex_);
        if (httpSession_) {
            return httpSession_;
        }
    }
    // Made outside the lock: the HTTP client's set-up takes the better part of a millisecond (the TLS
    // library reads its configuration), and `initialize` makes it on the host's thread while the start-up
    // already reads the other members on the income queue. Callers that race here wait for the one making
    // it, not for the lock, and all get the session stored first.
    std::lock_guard making(httpSessionMaking_);
    {
        std::lock_guard lock(mutex_);
        if (httpSession_) {
            return httpSession_;
        }
    }
    auto made = std::make_shared<CurlHttpSession>();
    std::lock_guard lock(mutex_);
    if (!httpSession_) {
        httpSession_ = std::move(made);
    }
    return httpSession_;
}
void Environment::setHttpSession(std::shared_ptr<HttpSessionProtocol> session) {
    replace(httpSession_, std::move(session));
}

std::shared_ptr<KeychainProtocol> Environment::keychain() const {
    return getOrMake(keychain_, [] { return std::make_shared<FileKeychain>(); });
}
void Environment::setKeychain(std::shared_ptr<KeychainProtocol> keychain) {
    replace(keychain_, std::move(keychain));
}

std::shared_ptr<DeviceProtocol> Environment::device() const {
    // Both read the bundle at each use, from this environment: a host may set it after them.
    return getOrMake(
        device_, [this] { return std::make_shared<Device>([this] { return bundle()->info().identifier; }); });
}
void Environment::setDevice(std::shared_ptr<DeviceProtocol> device) {
    replace(device_, std::move(device));
}

std::shared_ptr<AdvertisingProtocol> Environment::advertising() const {
    return getOrMake(advertising_, [] { return std::make_shared<Advertising>(); });
}
void Environment::setAdvertising(std::shared_ptr<AdvertisingProtocol> advertising) {
    replace(advertising_, std::move(advertising));
}

std::shared_ptr<StoreKitProtocol> Environment::storeKit() const {
    return getOrMake(storeKit_, [] { return std::make_shared<StoreKit>(); });
}
void Environment::setStoreKit(std::shared_ptr<StoreKitProtocol> storeKit) {
    replace(storeKit_, std::move(storeKit));
}

void Environment::reset() {
    Environment fresh;
    std::lock_guard lock(mutex_);
    clock_.swap(fresh.clock_);
    runLoop_.swap(fresh.runLoop_);
    delayedScheduler_.swap(fresh.delayedScheduler_);
    notificationCenter_.swap(fresh.notificationCenter_);
    application_.swap(fresh.application_);
    bundle_.swap(fresh.bundle_);
    files_.swap(fresh.files_);
    httpSession_.swap(fresh.httpSession_);
    keychain_.swap(fresh.keychain_);
    device_.swap(fresh.device_);
    advertising_.swap(fresh.advertising_);
    storeKit_.swap(fresh.storeKit_);
}

}  // namespace zqb::host
