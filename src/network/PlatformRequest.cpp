#include "network/PlatformRequest.hpp"

#include "foundation/Logger.hpp"

#include <algorithm>

namespace zqb {
namespace {

std::string headerLines(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string text;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (i > 0) {
            text += ",\n";
        }
        text += "\t\t" + pairs[i].first + ": " + pairs[i].second;
    }
    return text;
}

}  // namespace

PlatformRequest::PlatformRequest(UrlBuilder urlBuilder, RequestType type,
                                 std::shared_ptr<const RequestContentProtocol> content,
                                 std::optional<std::string> requestIdentifier,
                                 std::shared_ptr<host::HttpSessionProtocol> session)
    : urlBuilder_(std::move(urlBuilder)),
      type_(type),
      requestContent_(std::move(content)),
      requestIdentifier_(std::move(requestIdentifier)),
      session_(std::move(session)) {}

Response PlatformRequest::send() const noexcept {
    const auto failed = [](const char* reason) {
        Response response;
        response.error = reason;
        response.withoutAnswer = std::string("no answer: ") + reason;
        return response;
    };
    try {
        return sendUnchecked();
    } catch (const std::exception& error) {
        return failed(error.what());
    } catch (...) {
        return failed("unknown failure");
    }
}

Response PlatformRequest::sendUnchecked() const {
    Response response;
    const auto notSent = [&response](const char* reason) {
        response.withoutAnswer = std::string("not sent: ") + reason;
        return response;
    };
    const std::optional<std::string> url = urlBuilder_.url();
    if (!url) {
        return notSent("the address is not a valid http or https URL");
    }
    if (!requestContent_ || !session_) {
        return notSent(requestContent_ ? "no URL session" : "no content");
    }
    std::optional<std::string> body = requestContent_->object().toJSONData();
    if (!body) {
        Logger::writeLog(ZQBLogLevel::error,
                         "[Network Module] Can't parse response data. Error: getContent Error");
        return notSent("the body cannot be encoded");
    }

    host::HttpRequest request;
    request.method = type_ == RequestType::POST ? "POST" : "GET";
    request.url = *url;
    request.headers.emplace_back("Content-Length", std::to_string(body->size()));
    request.headers.emplace_back("Content-Type", requestContent_->headerKeyType());
    // A std::map iterates in ascending byte order of the names, the order the headers are added in.
    const std::map<std::string, std::string> encodedMap = requestContent_->getBase64Headers();
    const HeaderPairs encoded(encodedMap.begin(), encodedMap.end());
    request.headers.insert(request.headers.end(), encoded.begin(), encoded.end());
    request.body = std::move(*body);

    if (Logger::logLevel() >= ZQBLogLevel::debug) {
        logSending(*url, encoded);
    }

    host::HttpResult result = session_->perform(request);
    // A status that arrived is kept even when the exchange failed afterwards (a body cut off).
    if (result.statusCode) {
        response.statusCode = *result.statusCode;
    } else {
        response.withoutAnswer = "no answer: " + result.error.value_or("the transport gave no reason");
    }
    response.error = std::move(result.error);
    response.data = std::move(result.data);
    return response;
}

void PlatformRequest::logSending(const std::string& url, const HeaderPairs& encoded) const {
    const auto& plain = requestContent_->headers();
    const HeaderPairs plainSorted(plain.begin(), plain.end());
    std::string text = "[Network Module] \n";
    text += " Method: ";
    text += type_ == RequestType::POST ? "POST" : "GET";
    text += "\n";
    text += " URL: " + url + "\n";
    text += " Content-type: " + requestContent_->headerKeyType() + "\n";
    text += " Headers: \n" + headerLines(plainSorted) + "\n";
    text += " EncodedHeaders: \n" + headerLines(encoded) + "\n";
    text += " ";
    if (requestIdentifier_) {
        text += "Content UUID: " + *requestIdentifier_ + " \n";
    }
    text += " Content: " + requestContent_->object().toPrettyJson() + " \n";
    Logger::writeLog(ZQBLogLevel::debug, text);
}

}  // namespace zqb
