#pragma once

#include "network/PlatformRequest.hpp"

#include <memory>
#include <optional>
#include <string>

namespace zqb {

class RequestBuilderProtocol {
public:
    virtual ~RequestBuilderProtocol() = default;

    virtual RequestType type() const = 0;
    virtual UrlBuilderProtocol& urlBuilder() = 0;
    virtual void setRequestContent(std::shared_ptr<const RequestContentProtocol> content) = 0;
    virtual void setRequestIdentifier(std::optional<std::string> identifier) = 0;
    // The request; throws `ZQBError` "[Network Module] requestContent is nil" when no content was set.
    virtual std::unique_ptr<RequestProtocol> build() const = 0;
};

// Collects address, content and request identifier step by step, then makes the request.
class RequestBuilder final : public RequestBuilderProtocol {
public:
    RequestBuilder(RequestType type, UrlBuilder urlBuilder,
                   std::shared_ptr<host::HttpSessionProtocol> session);

    RequestType type() const override { return type_; }
    UrlBuilderProtocol& urlBuilder() override { return urlBuilder_; }
    const UrlBuilder& url() const { return urlBuilder_; }
    void setRequestContent(std::shared_ptr<const RequestContentProtocol> content) override;
    void setRequestIdentifier(std::optional<std::string> identifier) override;
    const std::optional<std::string>& requestIdentifier() const { return requestIdentifier_; }
    std::unique_ptr<RequestProtocol> build() const override;

private:
    RequestType type_;
    UrlBuilder urlBuilder_;
    std::shared_ptr<const RequestContentProtocol> requestContent_;
    std::optional<std::string> requestIdentifier_;
    std::shared_ptr<host::HttpSessionProtocol> session_;
};

}  // namespace zqb
