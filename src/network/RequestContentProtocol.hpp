#pragma once

#include "network/AnyEncodable.hpp"

#include <map>
#include <string>

namespace zqb {

// What a request carries besides its address: the body value and the header fields.
class RequestContentProtocol {
public:
    virtual ~RequestContentProtocol() = default;

    // The body, encoded by the request when it is sent.
    virtual const AnyEncodable& object() const = 0;
    // Header name to plain value (as shown in the request log).
    virtual const std::map<std::string, std::string>& headers() const = 0;
    // The value of "Content-Type".
    virtual const std::string& headerKeyType() const = 0;
    // The header fields as they are sent.
    virtual std::map<std::string, std::string> getBase64Headers() const = 0;
};

}  // namespace zqb
