#include "net/Socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "core/Text.h"
#include "net/SocketError.h"

namespace orvanta::net {

namespace {

sockaddr_in MakeAddress(Ipv4 address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    return sa;
}

Socket NewTcpSocket() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ThrowLastSocketError();
    }
    return Socket(fd);
}

}  // namespace

std::string FormatIpv4(Ipv4 address) {
    return std::to_string((address >> 24) & 0xFF) + "." + std::to_string((address >> 16) & 0xFF) +
           "." + std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

Ipv4 ResolveHost(const std::string& host) {
    if (EqualsIgnoreCaseAscii(host, "localhost")) {
        return 0x7F000001;
    }
    in_addr parsed{};
    if (::inet_pton(AF_INET, host.c_str(), &parsed) == 1) {
        return ntohl(parsed.s_addr);
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        throw SocketError(kHostNotFound);
    }
    Ipv4 address = ntohl(reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(found);
    return address;
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void Socket::Close() noexcept {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void Socket::Abort() noexcept {
    if (m_fd >= 0) {
        linger reset{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        Close();
    }
}

void Socket::ShutdownSend() noexcept {
    if (m_fd >= 0) {
        ::shutdown(m_fd, SHUT_WR);
    }
}

Ipv4 Socket::LocalAddress() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ThrowLastSocketError();
    }
    return ntohl(sa.sin_addr.s_addr);
}

std::uint16_t Socket::LocalPort() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ThrowLastSocketError();
    }
    return ntohs(sa.sin_port);
}

Ipv4 Socket::PeerAddress() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ThrowLastSocketError();
    }
    return ntohl(sa.sin_addr.s_addr);
}

bool Socket::WaitReadable(int milliseconds) const {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    pollfd p{m_fd, POLLIN, 0};
    int wait = milliseconds;
    for (;;) {
        int n = ::poll(&p, 1, wait);
        if (n > 0) {
            return true;  // readable, closed or in error: the receive tells which
        }
        if (n == 0) {
            return false;
        }
        if (errno != EINTR) {
            ThrowLastSocketError();
        }
        if (milliseconds >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
    }
}

std::size_t Socket::Receive(char* data, std::size_t size) {
    for (;;) {
        ssize_t n = ::recv(m_fd, data, size, 0);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            ThrowLastSocketError();
        }
    }
}

std::size_t Socket::Send(const char* data, std::size_t size) {
    for (;;) {
        ssize_t n = ::send(m_fd, data, size, MSG_NOSIGNAL);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            ThrowLastSocketError();
        }
    }
}

void Socket::SendAll(const char* data, std::size_t size) {
    while (size > 0) {
        std::size_t sent = Send(data, size);
        data += sent;
        size -= sent;
    }
}

void Socket::SendAll(const char* data, std::size_t size, int stallMs) {
    while (size > 0) {
        const std::size_t sent = Send(data, size, stallMs);
        data += sent;
        size -= sent;
    }
}

std::size_t Socket::Send(const char* data, std::size_t size, int stallMs) {
    for (;;) {
        pollfd p{m_fd, POLLOUT, 0};
        const int n = ::poll(&p, 1, stallMs);
        if (n == 0) {
            throw SocketError(kTimedOut);
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowLastSocketError();
        }
        // Writable (or in error, which the send reports): take what fits without blocking.
        const ssize_t sent = ::send(m_fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) {
            return static_cast<std::size_t>(sent);
        }
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            ThrowLastSocketError();
        }
    }
}

Socket ConnectTcp(const std::string& host, int port) {
    Socket socket = NewTcpSocket();
    sockaddr_in any = MakeAddress(INADDR_ANY, 0);
    if (::bind(socket.Fd(), reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
        ThrowLastSocketError();
    }
    const Ipv4 address = ResolveHost(host);
    if (port < 0 || port > 65535) {
        throw SocketError(kInvalidArgument);
    }
    int nodelay = 0;  // Nagle's algorithm stays on
    ::setsockopt(socket.Fd(), IPPROTO_TCP, TCP_NODELAY, &nodelay, sizeof nodelay);
    sockaddr_in peer = MakeAddress(address, static_cast<std::uint16_t>(port));
    if (::connect(socket.Fd(), reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINTR) {
            ThrowLastSocketError();
        }
        // Interrupted: the connection goes on in the background; wait for its outcome.
        pollfd p{socket.Fd(), POLLOUT, 0};
        while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        int error = 0;
        socklen_t len = sizeof error;
        ::getsockopt(socket.Fd(), SOL_SOCKET, SO_ERROR, &error, &len);
        if (error != 0) {
            throw SocketError(SocketCodeFromErrno(error));
        }
    }
    return socket;
}

Socket ListenTcp(Ipv4 address, std::uint16_t port, int backlog) {
    Socket socket = NewTcpSocket();
    sockaddr_in sa = MakeAddress(address, port);
    if (::bind(socket.Fd(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ThrowLastSocketError();
    }
    if (::listen(socket.Fd(), backlog) != 0) {
        ThrowLastSocketError();
    }
    return socket;
}

Socket AcceptTcp(const Socket& listener, Ipv4* peer) {
    for (;;) {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        int fd = ::accept4(listener.Fd(), reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
        if (fd >= 0) {
            if (peer) {
                *peer = ntohl(sa.sin_addr.s_addr);
            }
            return Socket(fd);
        }
        if (errno != EINTR && errno != ECONNABORTED) {
            ThrowLastSocketError();
        }
    }
}

}  // namespace orvanta::net
