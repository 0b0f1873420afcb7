#include <ZQBAnalytics/ZQBHost.hpp>

#include "core/Core.hpp"
#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "host/Environment.hpp"
#include "host/HostStoreProvider.hpp"

#include <cctype>
#include <cmath>
#include <memory>
#include <mutex>

namespace {

// The entry points replace or change members of the environment in several steps; one at a time.
std::mutex& hostMutex() {
    static std::mutex mutex;
    return mutex;
}

void refuse(const std::string& method, const std::string& reason) {
    zqb::Logger::writeLog(ZQBLogLevel::error,
                          "In the " + method + " method an error has occurred: " + reason);
}

// The facts of the bundle, the screen and the advertising identifier are read when the library starts: a
// change made once it was initialised may not reach the running library, which the host learns here.
void warnIfInitialized(const std::string& method) {
    const auto core = zqb::Core::current();
    if (core && core->isInitialized()) {
        zqb::Logger::writeLog(ZQBLogLevel::warning,
                              method +
                                  " was called after ZQBAnalytics::initialize: the library reads these facts "
                                  "when it starts, so the running library may keep those it read until it is "
                                  "destroyed and initialised again");
    }
}

// The Linux default of a stand-in, installing a fresh one when something else was in its place.
template <typename Default, typename Protocol, typename Make>
std::shared_ptr<Default> linuxDefault(std::shared_ptr<Protocol> current,
                                      void (zqb::host::Environment::*install)(std::shared_ptr<Protocol>),
                                      Make make) {
    if (auto existing = std::dynamic_pointer_cast<Default>(current)) {
        return existing;
    }
    std::shared_ptr<Default> fresh = make();
    (zqb::host::Environment::shared().*install)(fresh);
    return fresh;
}
template <typename Default, typename Protocol>
std::shared_ptr<Default> linuxDefault(std::shared_ptr<Protocol> current,
                                      void (zqb::host::Environment::*install)(std::shared_ptr<Protocol>)) {
    return linuxDefault<Default>(std::move(current), install, [] { return std::make_shared<Default>(); });
}

// The device reads the bundle at each use, as the environment's own default does.
std::shared_ptr<zqb::host::Device> linuxDevice(zqb::host::Environment& environment) {
    return linuxDefault<zqb::host::Device>(
        environment.device(), &zqb::host::Environment::setDevice, [&environment] {
            return std::make_shared<zqb::host::Device>(
                [&environment] { return environment.bundle()->info().identifier; });
        });
}

std::optional<std::string> normalisedUuid(const std::string& text) {
    if (text.size() != 36) {
        return std::nullopt;
    }
    std::string upper;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : std::isxdigit(c) == 0) {
            return std::nullopt;
        }
        upper.push_back(static_cast<char>(std::toupper(c)));
    }
    return upper;
}

// Sets the state first, so that an observer of the notification (or a start-up that reads the state right
// then) sees the new state. The notification is posted without the host lock: its observers may block.
void transition(zqb::host::ApplicationState state, zqb::host::AppNotification notification) {
    std::shared_ptr<zqb::host::NotificationCenter> center;
    {
        std::lock_guard lock(hostMutex());
        auto& environment = zqb::host::Environment::shared();
        auto application = linuxDefault<zqb::host::Application>(environment.application(),
                                                                &zqb::host::Environment::setApplication);
        application->setApplicationState(state);
        center = environment.notificationCenter();
    }
    center->post(notification);
}

}  // namespace

void ZQBHost::setBundleInfo(const std::string& name, const std::string& identifier,
                            const std::string& version, const std::string& build) {
    if (name.empty() || identifier.empty()) {
        refuse("setBundleInfo", "The bundle name and identifier must not be empty");
        return;
    }
    zqb::host::BundleInfo info;
    info.name = zqb::text::repairUtf8(name);
    info.identifier = zqb::text::repairUtf8(identifier);
    info.version = zqb::text::repairUtf8(version);
    info.build = zqb::text::repairUtf8(build);
    warnIfInitialized("setBundleInfo");
    std::lock_guard lock(hostMutex());
    // Changed in place, so that a receipt location set earlier stays.
    auto& environment = zqb::host::Environment::shared();
    linuxDefault<zqb::host::Bundle>(environment.bundle(), &zqb::host::Environment::setBundle)
        ->setInfo(std::move(info));
}

void ZQBHost::setReceiptPath(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        refuse("setReceiptPath", "The receipt path must not hold a NUL byte");
        return;
    }
    std::lock_guard lock(hostMutex());
    auto& environment = zqb::host::Environment::shared();
    linuxDefault<zqb::host::Bundle>(environment.bundle(), &zqb::host::Environment::setBundle)
        ->setAppStoreReceiptPath(path.empty() ? std::nullopt : std::optional<std::filesystem::path>(path));
}

void ZQBHost::setScreen(double widthPoints, double heightPoints, double scale, double nativeWidthPixels,
                        double nativeHeightPixels) {
    for (const double value : {widthPoints, heightPoints, scale, nativeWidthPixels, nativeHeightPixels}) {
        if (!std::isfinite(value) || value <= 0) {
            refuse("setScreen", "Screen sizes and scale must be finite and greater than zero");
            return;
        }
    }
    warnIfInitialized("setScreen");
    std::lock_guard lock(hostMutex());
    auto& environment = zqb::host::Environment::shared();
    auto device = linuxDevice(environment);
    device->setScreen(
        zqb::host::ScreenInfo{widthPoints, heightPoints, scale, nativeWidthPixels, nativeHeightPixels});
}

void ZQBHost::setAdvertisingIdentifier(const std::string& identifier, bool trackingEnabled) {
    std::optional<std::string> normalised;
    if (!identifier.empty()) {
        normalised = normalisedUuid(identifier);
        if (!normalised) {
            refuse("setAdvertisingIdentifier",
                   "The advertising identifier is not a UUID [" + zqb::text::repairUtf8(identifier) + "]");
            return;
        }
    }
    warnIfInitialized("setAdvertisingIdentifier");
    std::lock_guard lock(hostMutex());
    auto& environment = zqb::host::Environment::shared();
    auto advertising = linuxDefault<zqb::host::Advertising>(environment.advertising(),
                                                            &zqb::host::Environment::setAdvertising);
    advertising->setAdvertisingIdentifier(std::move(normalised));
    advertising->setAdvertisingTrackingEnabled(trackingEnabled);
}

void ZQBHost::setTrackingAuthorizationStatus(std::optional<ZQBTrackingAuthorizationStatus> status) {
    if (status &&
        (static_cast<int>(*status) < static_cast<int>(ZQBTrackingAuthorizationStatus::notDetermined) ||
         static_cast<int>(*status) > static_cast<int>(ZQBTrackingAuthorizationStatus::authorized))) {
        refuse("setTrackingAuthorizationStatus", "The tracking authorization status [" +
                                                     std::to_string(static_cast<int>(*status)) +
                                                     "] is not a case of ZQBTrackingAuthorizationStatus");
        return;
    }
    std::lock_guard lock(hostMutex());
    auto& environment = zqb::host::Environment::shared();
    auto advertising = linuxDefault<zqb::host::Advertising>(environment.advertising(),
                                                            &zqb::host::Environment::setAdvertising);
    advertising->setTrackingAuthorizationStatus(status ? std::optional<int64_t>(static_cast<int>(*status))
                                                       : std::nullopt);
}

void ZQBHost::setStoreProvider(std::shared_ptr<ZQBStoreProvider> provider) {
    std::lock_guard lock(hostMutex());
    auto& environment = zqb::host::Environment::shared();
    auto storeKit =
        linuxDefault<zqb::host::StoreKit>(environment.storeKit(), &zqb::host::Environment::setStoreKit);
    storeKit->setProvider(provider ? std::make_shared<zqb::host::HostStoreProvider>(std::move(provider))
                                   : nullptr);
}

void ZQBHost::applicationDidBecomeActive() {
    transition(zqb::host::ApplicationState::active, zqb::host::AppNotification::didBecomeActive);
}

void ZQBHost::applicationWillResignActive() {
    transition(zqb::host::ApplicationState::inactive, zqb::host::AppNotification::willResignActive);
}

void ZQBHost::applicationDidEnterBackground() {
    transition(zqb::host::ApplicationState::background, zqb::host::AppNotification::didEnterBackground);
}

void ZQBHost::applicationWillTerminate() {
    transition(zqb::host::ApplicationState::background, zqb::host::AppNotification::willTerminate);
}
