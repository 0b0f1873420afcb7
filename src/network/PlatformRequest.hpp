#pragma once

#include "host/HttpSession.hpp"
#include "network/RequestContentProtocol.hpp"
#include "network/RequestType.hpp"
#include "network/Response.hpp"
#include "network/UrlBuilder.hpp"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zqb {

class RequestProtocol {
public:
    virtual ~RequestProtocol() = default;
    // Performs the exchange on the calling thread and returns what came back; never throws.
    virtual Response send() const noexcept = 0;
};

// One request to the gateway, ready to send: a JSON body and its headers, posted (or fetched) at the
// builder's address through the URL session.
class PlatformRequest final : public RequestProtocol {
public:
    PlatformRequest(UrlBuilder urlBuilder, RequestType type,
                    std::shared_ptr<const RequestContentProtocol> content,
                    std::optional<std::string> requestIdentifier,
                    std::shared_ptr<host::HttpSessionProtocol> session);

    // Status 400 without sending when the address is no valid URL, content or URL session is missing, or the
    // body cannot be encoded; status 400 with `error` when the exchange fails before a status arrives;
    // otherwise the gateway's status and body. A 400 that is not the gateway's has `withoutAnswer`.
    Response send() const noexcept override;

    const UrlBuilder& urlBuilder() const { return urlBuilder_; }
    RequestType type() const { return type_; }
    const RequestContentProtocol& requestContent() const { return *requestContent_; }
    const std::optional<std::string>& requestIdentifier() const { return requestIdentifier_; }

private:
    using HeaderPairs = std::vector<std::pair<std::string, std::string>>;
    Response sendUnchecked() const;
    void logSending(const std::string& url, const HeaderPairs& encoded) const;

    UrlBuilder urlBuilder_;
    RequestType type_;
    std::shared_ptr<const RequestContentProtocol> requestContent_;
    std::optional<std::string> requestIdentifier_;
    std::shared_ptr<host::HttpSessionProtocol> session_;
};

}  // namespace zqb
