#pragma once

#include "backend/BackendRepository.hpp"
#include "backend/ContentFactory.hpp"
#include "host/Environment.hpp"
#include "host/HttpSession.hpp"
#include "network/Network.hpp"

#include <memory>

namespace zqb::test {

// The gateway client that start-up builds, over `session`: for the tests that build a backend of their own.
inline std::shared_ptr<BackendRepository> gatewayClient(std::shared_ptr<host::HttpSessionProtocol> session) {
    return std::make_shared<BackendRepository>(std::make_shared<Network>(std::move(session)),
                                               std::make_shared<ContentFactory>(),
                                               zqb::host::Environment::shared().clock());
}

}  // namespace zqb::test
