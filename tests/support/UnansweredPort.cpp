#include "support/UnansweredPort.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace zqb::test {

UnansweredPort::UnansweredPort(Kind kind) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    // A socket that is bound but does not listen keeps the port and refuses every connection to it.
    if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        (kind == Kind::mute && ::listen(socket_, 8) != 0) ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (socket_ >= 0) {
            ::close(socket_);
        }
        throw std::runtime_error("UnansweredPort: cannot bind on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
}

UnansweredPort::~UnansweredPort() {
    ::close(socket_);
}

}  // namespace zqb::test
