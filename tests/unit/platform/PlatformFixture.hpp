#pragma once

#include "host/Environment.hpp"
#include "host/MemoryKeychain.hpp"
#include "support/FakeAdvertising.hpp"
#include "support/FakeBundle.hpp"
#include "support/FakeDevice.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace zqb::test {

// Installs fake host stand-ins (in-memory keychain, fixed device, advertising and bundle) and points the
// user's data directory at a temporary one, so no test touches the real home directory.
class PlatformFixture : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", dataHome.path().c_str(), 1);
        auto& environment = host::Environment::shared();
        environment.reset();
        environment.setKeychain(keychain);
        environment.setDevice(device);
        environment.setAdvertising(advertising);
        environment.setBundle(bundle);
    }
    void TearDown() override { host::Environment::shared().reset(); }

    TempDir dataHome;
    std::shared_ptr<host::MemoryKeychain> keychain = std::make_shared<host::MemoryKeychain>();
    std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
    std::shared_ptr<FakeAdvertising> advertising = std::make_shared<FakeAdvertising>();
    std::shared_ptr<FakeBundle> bundle = std::make_shared<FakeBundle>();
};

}  // namespace zqb::test
