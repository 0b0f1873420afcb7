#include "network/BackendConfigUrl.hpp"

#include <mutex>

namespace zqb {
namespace {

struct Overrides {
    std::mutex mutex;
    std::string proxy;
    std::string custom;
};

Overrides& overrides() {
    // Never destroyed: a network queue may still build a request while static destructors run at exit.
    static Overrides* instance = new Overrides();
    return *instance;
}

}  // namespace

std::string BackendConfigUrl::testProxyUrl() {
    std::lock_guard lock(overrides().mutex);
    return overrides().proxy;
}

void BackendConfigUrl::setTestProxyUrl(std::string url) {
    std::lock_guard lock(overrides().mutex);
    overrides().proxy = std::move(url);
}

std::string BackendConfigUrl::testCustomUrl() {
    std::lock_guard lock(overrides().mutex);
    return overrides().custom;
}

void BackendConfigUrl::setTestCustomUrl(std::string url) {
    std::lock_guard lock(overrides().mutex);
    overrides().custom = std::move(url);
}

std::string BackendConfigUrl::baseApiUrl() {
    Overrides& state = overrides();
    std::lock_guard lock(state.mutex);
    std::string base = state.proxy.empty() ? std::string(defaultBaseUrl) : state.proxy;
    base += state.custom;
    return base;
}

}  // namespace zqb
