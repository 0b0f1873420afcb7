#pragma once

#include "host/HttpSession.hpp"

#include <chrono>
#include <cstddef>

namespace zqb::host {

// The Linux URL session: libcurl with TLS peer and host verification on, only http and https, no redirects
// followed. Each calling thread (in practice each network queue) keeps one easy handle of its own and reuses
// it, so that consecutive requests of a queue reuse the connection.
class CurlHttpSession final : public HttpSessionProtocol {
public:
    struct Options {
        // The exchange is given up after this long without a byte moving in either direction; a slow but
        // steady answer is not cut off.
        std::chrono::seconds idleTimeout{60};
        std::chrono::milliseconds connectTimeout{60000};
        // Answers above this size are dropped as a failure instead of being held in memory.
        std::size_t maxBodyBytes = 8u * 1024u * 1024u;
    };

    // Sets up the HTTP client of the process, once for all sessions.
    CurlHttpSession();
    explicit CurlHttpSession(Options options);

    HttpResult perform(const HttpRequest& request) noexcept override;

    const Options& options() const { return options_; }

private:
    Options options_;
};

}  // namespace zqb::host
