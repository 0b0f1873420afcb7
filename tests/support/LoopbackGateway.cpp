#include "support/LoopbackGateway.hpp"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <thread>

#if defined(__SANITIZE_THREAD__)
// The server library is a prebuilt shared object without ThreadSanitizer instrumentation: its own thread
// pool's hand-overs are invisible to the sanitizer and show up as races between its worker threads.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libcpp-httplib.so\n";
}
#endif

namespace zqb::test {

bool LoopbackGateway::CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<std::string> LoopbackGateway::Request::header(const std::string& name) const {
    const auto found = headers.find(name);
    if (found == headers.end()) {
        return std::nullopt;
    }
    return found->second;
}

struct LoopbackGateway::Impl {
    httplib::Server server;
    std::thread thread;
    int port = -1;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<Request> requests;
    std::map<std::string, Reply> standing;
    std::map<std::string, std::deque<Reply>> oneShot;
    std::map<std::string, Handler> handlers;
    Reply fallback = Reply(404).withContentType("text/plain");
    // Bumped by `releaseHangs()` and by destruction; a waiting reply returns when it changes.
    std::uint64_t releaseGeneration = 0;
    bool stopping = false;

    void handle(const httplib::Request& raw, httplib::Response& response);
    Reply replyFor(const Request& request);
    // Waits for `delay` (forever when `hang`); false when released or stopping first.
    // `generation` is the release generation seen when the request was recorded, so that a release made
    // between recording and waiting is not missed.
    bool waitFor(std::chrono::milliseconds delay, bool hang, std::uint64_t generation);
};

LoopbackGateway::Reply LoopbackGateway::Impl::replyFor(const Request& request) {
    Handler handler;
    {
        std::lock_guard lock(mutex);
        if (const auto found = handlers.find(request.path); found != handlers.end()) {
            handler = found->second;
        } else if (auto queued = oneShot.find(request.path);
                   queued != oneShot.end() && !queued->second.empty()) {
            Reply reply = std::move(queued->second.front());
            queued->second.pop_front();
            return reply;
        } else if (const auto set = standing.find(request.path); set != standing.end()) {
            return set->second;
        } else {
            return fallback;
        }
    }
    return handler(request);
}

bool LoopbackGateway::Impl::waitFor(std::chrono::milliseconds delay, bool hang, std::uint64_t generation) {
    std::unique_lock lock(mutex);
    const auto released = [&] { return stopping || releaseGeneration != generation; };
    if (hang) {
        changed.wait(lock, released);
        return false;
    }
    return !changed.wait_for(lock, delay, released);
}

void LoopbackGateway::Impl::handle(const httplib::Request& raw, httplib::Response& response) {
    Request request;
    request.method = raw.method;
    request.target = raw.target;
    const auto question = raw.target.find('?');
    request.path = raw.target.substr(0, question);
    request.query = question == std::string::npos ? std::string() : raw.target.substr(question + 1);
    for (const auto& [name, value] : raw.headers) {
        // The server library adds the connection's addresses as pseudo-headers.
        if (name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" && name != "LOCAL_PORT") {
            request.headers.emplace(name, value);
        }
    }
    request.body = raw.body;
    request.remotePort = raw.remote_port;
    // Taken with the recording: a release that follows a wait for this request must reach its reply.
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex);
        requests.push_back(request);
        generation = releaseGeneration;
    }
    changed.notify_all();

    Reply reply = replyFor(request);
    if (reply.hang || reply.delay.count() > 0) {
        if (!waitFor(reply.delay, reply.hang, generation) && reply.hang) {
            reply = Reply(503).withContentType("text/plain");
        }
    }

    response.status = reply.status;
    for (const auto& [name, value] : reply.headers) {
        response.set_header(name, value);
    }
    const std::size_t repeat = std::max<std::size_t>(reply.repeat, 1);
    if (repeat == 1 && !reply.abortAfterBytes && !reply.chunked && reply.pieceBytes == 0) {
        response.set_content(reply.body, reply.contentType);
        return;
    }
    // Streamed: pieces of the repeated body are written one by one; an abort stops writing early, which
    // makes the server close the connection short of the announced length.
    const std::size_t total = reply.body.size() * repeat;
    const std::size_t limit = reply.abortAfterBytes ? std::min(*reply.abortAfterBytes, total) : total;
    const std::size_t piece =
        reply.pieceBytes == 0 ? std::numeric_limits<std::size_t>::max() : reply.pieceBytes;
    const auto pause = reply.piecePause;
    auto body = std::make_shared<std::string>(std::move(reply.body));
    // Writes the piece at `offset`; false when the connection is to be closed instead.
    auto writePiece = [this, body, limit, piece, pause, generation](std::size_t offset, std::size_t length,
                                                                    httplib::DataSink& sink) {
        if (offset >= limit || body->empty()) {
            return false;
        }
        if (pause.count() > 0 && !waitFor(pause, false, generation)) {
            return false;
        }
        const std::size_t start = offset % body->size();
        const std::size_t count = std::min({length, piece, body->size() - start, limit - offset});
        return sink.write(body->data() + start, count);
    };
    if (reply.chunked) {
        response.set_chunked_content_provider(
            reply.contentType, [writePiece, limit, total](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= total) {
                    sink.done();
                    return true;
                }
                return offset < limit && writePiece(offset, 64 * 1024, sink);
            });
        return;
    }
    response.set_content_provider(
        total, reply.contentType,
        [writePiece](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return writePiece(offset, length, sink);
        });
}

LoopbackGateway::LoopbackGateway() : LoopbackGateway(Options{}) {}

LoopbackGateway::LoopbackGateway(Options options) : impl_(std::make_unique<Impl>()) {
    Impl& impl = *impl_;
    if (options.keepAlive) {
        impl.server.set_keep_alive_max_count(100);
        impl.server.set_keep_alive_timeout(2);
    } else {
        // One exchange per connection: a client's idle connection must not hold up the teardown.
        impl.server.set_keep_alive_max_count(1);
    }
    impl.server.set_read_timeout(std::chrono::seconds(5));
    // Without it a reply written in two pieces waits for the client's delayed acknowledgement, about 40 ms an
    // exchange, which the tests and the delivery benchmark would otherwise measure instead of the library.
    impl.server.set_tcp_nodelay(true);
    const auto handler = [&impl](const httplib::Request& request, httplib::Response& response) {
        impl.handle(request, response);
    };
    impl.server.Get(".*", handler);
    impl.server.Post(".*", handler);
    impl.server.Put(".*", handler);
    impl.server.Delete(".*", handler);
    impl.server.Patch(".*", handler);
    impl.port = impl.server.bind_to_any_port("127.0.0.1");
    if (impl.port <= 0) {
        throw std::runtime_error("LoopbackGateway: cannot bind 127.0.0.1");
    }
    impl.thread = std::thread([&impl] { impl.server.listen_after_bind(); });
    // `stop()` before the accept loop runs would be lost; wait until it does.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!impl.server.is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

LoopbackGateway::~LoopbackGateway() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->changed.notify_all();
    impl_->server.stop();
    if (impl_->thread.joinable()) {
        impl_->thread.join();
    }
}

int LoopbackGateway::port() const {
    return impl_->port;
}

std::string LoopbackGateway::baseUrl() const {
    return "http://127.0.0.1:" + std::to_string(impl_->port);
}

void LoopbackGateway::setReply(const std::string& path, Reply reply) {
    std::lock_guard lock(impl_->mutex);
    impl_->standing[path] = std::move(reply);
}

void LoopbackGateway::pushReply(const std::string& path, Reply reply) {
    std::lock_guard lock(impl_->mutex);
    impl_->oneShot[path].push_back(std::move(reply));
}

void LoopbackGateway::setHandler(const std::string& path, Handler handler) {
    std::lock_guard lock(impl_->mutex);
    impl_->handlers[path] = std::move(handler);
}

void LoopbackGateway::setDefaultReply(Reply reply) {
    std::lock_guard lock(impl_->mutex);
    impl_->fallback = std::move(reply);
}

std::vector<LoopbackGateway::Request> LoopbackGateway::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

std::vector<LoopbackGateway::Request> LoopbackGateway::requests(const std::string& path) const {
    std::vector<Request> out;
    for (auto& request : requests()) {
        if (request.path == path) {
            out.push_back(std::move(request));
        }
    }
    return out;
}

std::size_t LoopbackGateway::requestCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests.size();
}

void LoopbackGateway::clearRequests() {
    std::lock_guard lock(impl_->mutex);
    impl_->requests.clear();
}

bool LoopbackGateway::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->requests.size() >= count; });
}

void LoopbackGateway::releaseHangs() {
    {
        std::lock_guard lock(impl_->mutex);
        ++impl_->releaseGeneration;
    }
    impl_->changed.notify_all();
}

}  // namespace zqb::test
