#pragma once

#include "host/Advertising.hpp"
#include "host/Bundle.hpp"
#include "host/Clock.hpp"
#include "host/Device.hpp"
#include "host/Files.hpp"
#include "host/HttpSession.hpp"
#include "host/Keychain.hpp"
#include "host/NotificationCenter.hpp"
#include "host/RunLoop.hpp"
#include "host/StoreKit.hpp"

#include <memory>
#include <mutex>

namespace zqb::host {

// The one place where the library finds its host stand-ins. Each member has a Linux default created on first
// use; a host or a test replaces members before `initialize`. Members are handed out as shared pointers, so
// a replacement never pulls an object from under a thread that is using it.
class Environment {
public:
    static Environment& shared();

    // The library's classes take the environment they use through their constructors (the shared one by
    // default); a test may build one of its own for them.
    Environment() = default;
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    std::shared_ptr<ClockProtocol> clock() const;
    void setClock(std::shared_ptr<ClockProtocol> clock);

    // Timers of the "main run loop": alive, currency accrual, request and activity timers.
    std::shared_ptr<RunLoopProtocol> runLoop() const;
    void setRunLoop(std::shared_ptr<RunLoopProtocol> runLoop);

    // Delayed retries, on a thread of their own so that the run loop is never held up.
    std::shared_ptr<DelayedSchedulerProtocol> delayedScheduler() const;
    void setDelayedScheduler(std::shared_ptr<DelayedSchedulerProtocol> scheduler);

    std::shared_ptr<NotificationCenter> notificationCenter() const;
    void setNotificationCenter(std::shared_ptr<NotificationCenter> center);

    std::shared_ptr<ApplicationProtocol> application() const;
    void setApplication(std::shared_ptr<ApplicationProtocol> application);

    std::shared_ptr<BundleProtocol> bundle() const;
    void setBundle(std::shared_ptr<BundleProtocol> bundle);

    std::shared_ptr<FilesProtocol> files() const;
    void setFiles(std::shared_ptr<FilesProtocol> files);

    // The URL session every backend request goes through (libcurl by default).
    std::shared_ptr<HttpSessionProtocol> httpSession() const;
    void setHttpSession(std::shared_ptr<HttpSessionProtocol> session);

    // Generic-password items (device identifiers). Default: `FileKeychain` at its default path.
    std::shared_ptr<KeychainProtocol> keychain() const;
    void setKeychain(std::shared_ptr<KeychainProtocol> keychain);

    // System, locale, screen and vendor-identifier facts. Default: `Device`.
    std::shared_ptr<DeviceProtocol> device() const;
    void setDevice(std::shared_ptr<DeviceProtocol> device);

    // Advertising identifier and tracking authorisation. Default: `Advertising` (none, "not determined").
    std::shared_ptr<AdvertisingProtocol> advertising() const;
    void setAdvertising(std::shared_ptr<AdvertisingProtocol> advertising);

    // Products requests of the store. Default: `StoreKit` without a provider (no products).
    std::shared_ptr<StoreKitProtocol> storeKit() const;
    void setStoreKit(std::shared_ptr<StoreKitProtocol> storeKit);

    // Back to the Linux defaults (created again on next use).
    void reset();

private:
    template <typename T, typename Make>
    std::shared_ptr<T> getOrMake(std::shared_ptr<T>& slot, Make&& make) const {
        std::lock_guard lock(mutex_);
        if (!slot) {
            slot = make();
        }
        return slot;
    }
    template <typename T>
    void replace(std::shared_ptr<T>& slot, std::shared_ptr<T> value) {
        std::lock_guard lock(mutex_);
        slot.swap(value);
        // The previous member is released after the lock.
    }

    mutable std::mutex mutex_;
    // Held while the default HTTP session is made, outside `mutex_`.
    mutable std::mutex httpSessionMaking_;
    mutable std::shared_ptr<ClockProtocol> clock_;
    mutable std::shared_ptr<RunLoopProtocol> runLoop_;
    mutable std::shared_ptr<DelayedSchedulerProtocol> delayedScheduler_;
    mutable std::shared_ptr<NotificationCenter> notificationCenter_;
    mutable std::shared_ptr<ApplicationProtocol> application_;
    mutable std::shared_ptr<BundleProtocol> bundle_;
    mutable std::shared_ptr<FilesProtocol> files_;
    mutable std::shared_ptr<HttpSessionProtocol> httpSession_;
    mutable std::shared_ptr<KeychainProtocol> keychain_;
    mutable std::shared_ptr<DeviceProtocol> device_;
    mutable std::shared_ptr<AdvertisingProtocol> advertising_;
    mutable std::shared_ptr<StoreKitProtocol> storeKit_;
};

}  // namespace zqb::host
