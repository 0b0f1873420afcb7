#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zqb::host {

// One HTTP exchange as the request layer hands it over: an already validated absolute URL, the method, the
// header fields in the order they are to be added, and the body.
struct HttpRequest {
    std::string method = "POST";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

// What came back. A transport failure (no connection, time-out, cut-off answer, answer over the size cap,
// answer that is not HTTP) has `error` set and no data; its status is the one of the status line that
// arrived before the failure, and absent when none did.
struct HttpResult {
    std::optional<int64_t> statusCode;
    std::optional<std::string> data;
    std::optional<std::string> error;
};

// The URL session of the platform: performs one exchange synchronously on the calling thread. Implementations
// are shared by every network queue and must be safe to call from several threads at once; `perform` never
// throws.
class HttpSessionProtocol {
public:
    virtual ~HttpSessionProtocol() = default;
    virtual HttpResult perform(const HttpRequest& request) noexcept = 0;
};

}  // namespace zqb::host
