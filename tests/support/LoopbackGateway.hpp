#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zqb::test {

// A plain-HTTP stand-in of the analytics gateway on 127.0.0.1 and an ephemeral port, served from a thread
// of its own. It records every request and answers with scripted replies chosen by the request's path.
//
//   LoopbackGateway gateway;
//   gateway.setReply("/v2/analytics/config", {200, R"({...})"});
//   ... point the library at gateway.baseUrl() (the test proxy URL) and run it ...
//   ASSERT_TRUE(gateway.waitForRequests(1));
//   EXPECT_EQ(gateway.requests()[0].header("X-Id-Encoding"), "base64");
//
// Paths without a script are answered 404 with an empty body. Destroying the gateway releases hanging
// replies and stops the server; by default connections are closed after each exchange so that teardown
// never waits on a client's idle connection.
class LoopbackGateway {
public:
    struct CaseInsensitiveLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    using Headers = std::multimap<std::string, std::string, CaseInsensitiveLess>;

    struct Request {
        std::string method;
        std::string path;   // as sent, before "?", not percent-decoded
        std::string query;  // as sent, after "?" (empty when there is none)
        std::string target;
        // As the server library parsed them: a header sent with an empty value is not recorded.
        Headers headers;
        std::string body;
        int remotePort =
            -1;  // the client's port: equal ports on consecutive requests mean a reused connection

        // The first value of the header (names compare case-insensitively), or nothing.
        std::optional<std::string> header(const std::string& name) const;
        std::size_t headerCount(const std::string& name) const { return headers.count(name); }
    };

    struct Reply {
        Reply(int status = 200, std::string body = {}) : status(status), body(std::move(body)) {}

        int status;
        std::string body;
        std::string contentType = "application/json";
        std::vector<std::pair<std::string, std::string>> headers;
        // Wait this long before answering (cut short when the gateway is destroyed).
        std::chrono::milliseconds delay{0};
        // Accept the request and never answer, until the gateway is destroyed or `releaseHangs()`.
        bool hang = false;
        // Announce the whole body's length but send only this many bytes of it, then close the connection.
        std::optional<std::size_t> abortAfterBytes;
        // The body is sent this many times back to back, streamed, so that huge answers cost no memory.
        std::size_t repeat = 1;
        // Sent with chunked transfer encoding, so that the client learns the length only at the end.
        bool chunked = false;
        // Written in pieces of this many bytes with a pause before each (0: all at once).
        std::size_t pieceBytes = 0;
        std::chrono::milliseconds piecePause{0};

        // Chainable: `Reply(200, body).delayedBy(50ms)`, `Reply().hanging()`.
        Reply withContentType(std::string type) && { return contentType = std::move(type), std::move(*this); }
        Reply withHeader(std::string name, std::string value) && {
            headers.emplace_back(std::move(name), std::move(value));
            return std::move(*this);
        }
        Reply delayedBy(std::chrono::milliseconds wait) && { return delay = wait, std::move(*this); }
        Reply hanging() && { return hang = true, std::move(*this); }
        Reply abortingAfter(std::size_t bytes) && { return abortAfterBytes = bytes, std::move(*this); }
        Reply repeated(std::size_t times) && { return repeat = times, std::move(*this); }
        Reply chunkedEncoding() && { return chunked = true, std::move(*this); }
        Reply trickled(std::size_t bytes, std::chrono::milliseconds pause) && {
            pieceBytes = bytes;
            piecePause = pause;
            return std::move(*this);
        }
    };
    using Handler = std::function<Reply(const Request&)>;

    struct Options {
        // Keep connections open between exchanges (for tests of connection reuse). The teardown then waits
        // until clients have closed them, so such a test lets its client threads end before the gateway.
        bool keepAlive = false;
    };

    LoopbackGateway();
    explicit LoopbackGateway(Options options);
    ~LoopbackGateway();
    LoopbackGateway(const LoopbackGateway&) = delete;
    LoopbackGateway& operator=(const LoopbackGateway&) = delete;

    int port() const;
    // "http://127.0.0.1:<port>", without a trailing slash.
    std::string baseUrl() const;

    // The reply for every later request to `path`.
    void setReply(const std::string& path, Reply reply);
    // One-shot replies to `path`, used in order before the standing reply of `setReply`.
    void pushReply(const std::string& path, Reply reply);
    // Computes the reply from the request; takes precedence over the replies above.
    void setHandler(const std::string& path, Handler handler);
    // The reply for paths with no script of their own (404 with an empty body unless set).
    void setDefaultReply(Reply reply);

    std::vector<Request> requests() const;
    std::vector<Request> requests(const std::string& path) const;
    std::size_t requestCount() const;
    void clearRequests();
    // Waits until at least `count` requests have arrived (counted when their body has been read, before the
    // reply), or until `timeout`; true when they did.
    bool waitForRequests(std::size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // Lets every hanging or delayed reply finish now (hanging ones answer 503 with an empty body).
    void releaseHangs();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zqb::test
