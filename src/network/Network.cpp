#include "network/Network.hpp"

namespace zqb {

std::unique_ptr<RequestBuilderProtocol> Network::post(const std::string& host) const {
    return std::make_unique<RequestBuilder>(RequestType::POST, UrlBuilder(host), session_);
}

std::unique_ptr<RequestBuilderProtocol> Network::get(const std::string& host) const {
    return std::make_unique<RequestBuilder>(RequestType::GET, UrlBuilder(host), session_);
}

}  // namespace zqb
