#pragma once

#include "host/Bundle.hpp"

#include <map>
#include <mutex>

namespace zqb::test {

// Bundle facts and resource files set by the test; counts resource look-ups.
class FakeBundle final : public host::BundleProtocol {
public:
    explicit FakeBundle(host::BundleInfo info = {"TestApp", "com.example.testapp", "1.2.3", "45"})
        : info_(std::move(info)) {}

    host::BundleInfo info() const override {
        std::lock_guard lock(mutex_);
        return info_;
    }
    void setInfo(host::BundleInfo info) {
        std::lock_guard lock(mutex_);
        info_ = std::move(info);
    }

    std::optional<std::filesystem::path> pathForResource(const std::string& name,
                                                         const std::string& type) const override {
        std::lock_guard lock(mutex_);
        ++resourceLookups_;
        const auto it = resources_.find(name + "." + type);
        if (it == resources_.end()) {
            return std::nullopt;
        }
        return it->second;
    }
    void setResource(const std::string& fileName, std::filesystem::path path) {
        std::lock_guard lock(mutex_);
        resources_[fileName] = std::move(path);
    }
    int resourceLookups() const {
        std::lock_guard lock(mutex_);
        return resourceLookups_;
    }

private:
    mutable std::mutex mutex_;
    host::BundleInfo info_;
    std::map<std::string, std::filesystem::path> resources_;
    mutable int resourceLookups_ = 0;
};

}  // namespace zqb::test
