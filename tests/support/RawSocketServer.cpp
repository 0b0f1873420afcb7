#include "support/RawSocketServer.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace zqb::test {
namespace {

// Bytes still expected after `data` when it holds a complete header block; -1 while the headers are not in.
long remainingBody(const std::string& data) {
    const auto end = data.find("\r\n\r\n");
    if (end == std::string::npos) {
        return -1;
    }
    long length = 0;
    std::string lower;
    for (char c : data.substr(0, end)) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (const auto at = lower.find("\r\ncontent-length:"); at != std::string::npos) {
        length = std::strtol(lower.c_str() + at + 17, nullptr, 10);
    }
    return length - static_cast<long>(data.size() - end - 4);
}

}  // namespace

RawSocketServer::RawSocketServer(std::string answer, Ending ending)
    : answer_(std::move(answer)), ending_(ending) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof(address);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error("RawSocketServer: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

RawSocketServer::~RawSocketServer() {
    // Wakes the accept loop, which then sees the listener gone.
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
}

void RawSocketServer::serve() {
    while (true) {
        const int connection = ::accept(listener_, nullptr, nullptr);
        if (connection < 0) {
            return;
        }
        std::string data;
        char buffer[4096];
        while (remainingBody(data) != 0) {
            pollfd entry{connection, POLLIN, 0};
            if (::poll(&entry, 1, 2000) <= 0) {
                break;
            }
            const ssize_t count = ::recv(connection, buffer, sizeof(buffer), 0);
            if (count <= 0) {
                break;
            }
            data.append(buffer, static_cast<std::size_t>(count));
        }
        {
            std::lock_guard lock(mutex_);
            received_ += data;
            ++connections_;
        }
        ::send(connection, answer_.data(), answer_.size(), MSG_NOSIGNAL);
        if (ending_ == Ending::reset) {
            // Closing with a zero linger time discards the connection with a reset instead of a FIN.
            const linger abort{1, 0};
            ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
        } else {
            ::shutdown(connection, SHUT_RDWR);
        }
        ::close(connection);
    }
}

std::string RawSocketServer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

int RawSocketServer::connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

}  // namespace zqb::test
