#pragma once

#include "host/Bundle.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zqb {

class ApplicationCollectorProtocol {
public:
    virtual ~ApplicationCollectorProtocol() = default;
    virtual std::string applicationVersion() const = 0;
    virtual std::string applicationBuildVersion() const = 0;
    virtual std::string applicationBundle() const = 0;
    virtual int64_t sandboxState() const = 0;
};

// Reads the host application's bundle: versions, identifier and signing state.
class ApplicationCollector final : public ApplicationCollectorProtocol {
public:
    ApplicationCollector(std::shared_ptr<host::BundleProtocol> bundle, bool isSimulator);

    std::string applicationVersion() const override;
    std::string applicationBuildVersion() const override;
    std::string applicationBundle() const override;
    // 0 without a readable provisioning profile ("embedded.mobileprovision"), 1 on a simulator or when the
    // profile allows debugging, 2 for any other profile.
    int64_t sandboxState() const override;

    // The state a provisioning profile's text gives (1 or 2).
    static int64_t sandboxStateOfProfile(std::string_view profile);

private:
    std::shared_ptr<host::BundleProtocol> bundle_;
    bool isSimulator_;
};

}  // namespace zqb
