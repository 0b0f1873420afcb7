#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace zqb::test {

// A bare TCP listener on 127.0.0.1 and an ephemeral port for answers no HTTP server library would give:
// it accepts connections one at a time, reads what the client sends until the request's headers and
// announced body are in (or the client stops), records those bytes, writes the scripted bytes and closes
// (or resets) the connection.
class RawSocketServer {
public:
    enum class Ending {
        close,  // an orderly close after the answer
        reset,  // the connection reset (RST) after the answer
    };

    explicit RawSocketServer(std::string answer, Ending ending = Ending::close);
    ~RawSocketServer();
    RawSocketServer(const RawSocketServer&) = delete;
    RawSocketServer& operator=(const RawSocketServer&) = delete;

    int port() const { return port_; }
    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

    // Everything received on the connections so far, as raw bytes.
    std::string received() const;
    int connections() const;

private:
    void serve();

    std::string answer_;
    Ending ending_;
    int listener_ = -1;
    int port_ = -1;
    mutable std::mutex mutex_;
    std::string received_;
    int connections_ = 0;
    std::thread thread_;
};

}  // namespace zqb::test
