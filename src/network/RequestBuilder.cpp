#include "network/RequestBuilder.hpp"

#include "network/ZQBError.hpp"

namespace zqb {

RequestBuilder::RequestBuilder(RequestType type, UrlBuilder urlBuilder,
                               std::shared_ptr<host::HttpSessionProtocol> session)
    : type_(type), urlBuilder_(std::move(urlBuilder)), session_(std::move(session)) {}

void RequestBuilder::setRequestContent(std::shared_ptr<const RequestContentProtocol> content) {
    requestContent_ = std::move(content);
}

void RequestBuilder::setRequestIdentifier(std::optional<std::string> identifier) {
    requestIdentifier_ = std::move(identifier);
}

std::unique_ptr<RequestProtocol> RequestBuilder::build() const {
    if (!requestContent_) {
        throw ZQBError("[Network Module] requestContent is nil");
    }
    return std::make_unique<PlatformRequest>(urlBuilder_, type_, requestContent_, requestIdentifier_,
                                             session_);
}

}  // namespace zqb
