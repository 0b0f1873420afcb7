#pragma once

#include "host/HttpSession.hpp"
#include "network/RequestBuilder.hpp"

#include <memory>
#include <string>

namespace zqb {

class NetworkProtocol {
public:
    virtual ~NetworkProtocol() = default;
    virtual std::unique_ptr<RequestBuilderProtocol> post(const std::string& host) const = 0;
    virtual std::unique_ptr<RequestBuilderProtocol> get(const std::string& host) const = 0;
};

// Factory of request builders. Requests go through the given URL session (start-up hands in the host
// environment's).
class Network final : public NetworkProtocol {
public:
    explicit Network(std::shared_ptr<host::HttpSessionProtocol> session) : session_(std::move(session)) {}

    std::unique_ptr<RequestBuilderProtocol> post(const std::string& host) const override;
    std::unique_ptr<RequestBuilderProtocol> get(const std::string& host) const override;

private:
    std::shared_ptr<host::HttpSessionProtocol> session_;
};

}  // namespace zqb
