#pragma once

#include <string>

namespace zqb::test {

// A TCP port on 127.0.0.1, held for the object's lifetime so that no other test takes it, where a request
// gets no answer at all:
// - `refusing`: nothing listens, and every connection is refused at once;
// - `mute`: connections are made (the system accepts them into the backlog) and the request is taken, but
//   nothing is ever read or answered, as a stalled gateway does, until the client's time-out.
class UnansweredPort {
public:
    enum class Kind { refusing, mute };

    explicit UnansweredPort(Kind kind);
    ~UnansweredPort();
    UnansweredPort(const UnansweredPort&) = delete;
    UnansweredPort& operator=(const UnansweredPort&) = delete;

    int port() const { return port_; }
    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    int socket_ = -1;
    int port_ = -1;
};

}  // namespace zqb::test
