#pragma once

#include "host/Device.hpp"

#include <mutex>

namespace zqb::test {

// Device facts set by the test; safe to change while library threads read them.
class FakeDevice final : public host::DeviceProtocol {
public:
    struct Facts {
        std::string systemName = "Linux";
        std::string systemVersion = "12";
        std::string manufacturer = "Lenovo";
        std::string machine = "x86_64";
        std::vector<std::string> preferredLanguages{"en-US"};
        std::optional<std::string> regionCode = "US";
        int64_t secondsFromGMT = 0;
        std::optional<host::ScreenInfo> screen;
        std::optional<std::string> identifierForVendor = "11111111-2222-4333-8444-555555555555";
    };

    FakeDevice() = default;
    explicit FakeDevice(Facts facts) : facts_(std::move(facts)) {}

    Facts facts() const {
        std::lock_guard lock(mutex_);
        return facts_;
    }
    void setFacts(Facts facts) {
        std::lock_guard lock(mutex_);
        facts_ = std::move(facts);
    }
    template <typename Change>
    void change(Change&& change) {
        std::lock_guard lock(mutex_);
        change(facts_);
    }

    std::string systemName() const override { return facts().systemName; }
    std::string systemVersion() const override { return facts().systemVersion; }
    std::string manufacturer() const override { return facts().manufacturer; }
    std::string machine() const override { return facts().machine; }
    std::vector<std::string> preferredLanguages() const override { return facts().preferredLanguages; }
    std::optional<std::string> regionCode() const override { return facts().regionCode; }
    int64_t secondsFromGMT(double) const override { return facts().secondsFromGMT; }
    std::optional<host::ScreenInfo> screen() const override { return facts().screen; }
    std::optional<std::string> identifierForVendor() const override { return facts().identifierForVendor; }

private:
    mutable std::mutex mutex_;
    Facts facts_;
};

}  // namespace zqb::test
