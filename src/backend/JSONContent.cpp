#include "backend/JSONContent.hpp"

#include "foundation/TextUtils.hpp"

#include <algorithm>

namespace zqb {

JSONContent::JSONContent(AnyEncodable object, std::map<std::string, std::string> headers,
                         std::vector<std::string> encodingKeys, std::string headerKeyType)
    : object_(std::move(object)),
      headers_(std::move(headers)),
      encodingKeys_(std::move(encodingKeys)),
      headerKeyType_(std::move(headerKeyType)) {}

std::map<std::string, std::string> JSONContent::getBase64Headers() const {
    std::map<std::string, std::string> encoded;
    for (const auto& [name, value] : headers_) {
        const bool encode =
            std::find(encodingKeys_.begin(), encodingKeys_.end(), name) != encodingKeys_.end();
        // The bytes are encoded as they are: even text that is not valid UTF-8 leaves as ASCII.
        encoded.emplace(name, encode ? text::base64Encode(value) : value);
    }
    return encoded;
}

}  // namespace zqb
