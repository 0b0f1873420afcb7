#pragma once

#include "network/RequestContentProtocol.hpp"

#include <map>
#include <string>
#include <vector>

namespace zqb {

// The content of every gateway request: a JSON body and the identifier headers. The values of the headers
// named in `encodingKeys` go out in base64, so that any user id travels as plain ASCII.
class JSONContent final : public RequestContentProtocol {
public:
    JSONContent(AnyEncodable object, std::map<std::string, std::string> headers,
                std::vector<std::string> encodingKeys, std::string headerKeyType = "application/json");

    const AnyEncodable& object() const override { return object_; }
    const std::map<std::string, std::string>& headers() const override { return headers_; }
    const std::vector<std::string>& encodingKeys() const { return encodingKeys_; }
    const std::string& headerKeyType() const override { return headerKeyType_; }

    void setObject(AnyEncodable object) { object_ = std::move(object); }
    void setHeaderKeyType(std::string type) { headerKeyType_ = std::move(type); }

    std::map<std::string, std::string> getBase64Headers() const override;

private:
    AnyEncodable object_;
    std::map<std::string, std::string> headers_;
    std::vector<std::string> encodingKeys_;
    std::string headerKeyType_;
};

}  // namespace zqb
