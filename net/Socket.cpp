#include "net/Socket.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "core/Text.h"
#include "net/SocketError.h"
#include "net/SocketSystem.h"

namespace orvanta::net {

namespace {

Socket NewTcpSocket() {
    const SocketHandle handle = os::OpenTcp();
    if (handle == kNoSocket) {
        ThrowLastSocketError();
    }
    return Socket(handle);
}

// Waits for the condition, going on after interruptions with what is left of the wait.
bool WaitFor(SocketHandle handle, os::Wait what, int milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    int wait = milliseconds;
    for (;;) {
        const int n = os::Poll(handle, what, wait);
        if (n > 0) {
            return true;  // ready, closed or in error: the next call tells which
        }
        if (n == 0) {
            return false;
        }
        const int error = os::LastError();
        if (error != kInterrupted) {
            throw SocketError(error);
        }
        if (milliseconds >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
    }
}

// The same, in steps short enough to see the stop flag turn true soon after it does.
bool WaitFor(SocketHandle handle, os::Wait what, int milliseconds, const StopFlag* stop) {
    if (stop == nullptr) {
        return WaitFor(handle, what, milliseconds);
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    const int step = static_cast<int>(kStopCheck.count());
    for (;;) {
        if (stop->load()) {
            throw Stopped();
        }
        int wait = step;
        if (milliseconds >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            wait = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, step));
        }
        if (WaitFor(handle, what, wait)) {
            return true;
        }
        if (milliseconds >= 0 && Clock::now() >= deadline) {
            return false;
        }
    }
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
    Ipv4 address = 0;
    if (os::ParseDotted(host, &address)) {
        return address;
    }
    if (host.empty() || !os::Lookup(host, &address)) {
        throw SocketError(kHostNotFound);
    }
    return address;
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        m_handle = other.m_handle;
        other.m_handle = kNoSocket;
    }
    return *this;
}

void Socket::Close() noexcept {
    if (m_handle != kNoSocket) {
        os::Close(m_handle);
        m_handle = kNoSocket;
    }
}

void Socket::Abort() noexcept {
    if (m_handle != kNoSocket) {
        os::SetResetOnClose(m_handle);
        Close();
    }
}

void Socket::ShutdownSend() noexcept {
    if (m_handle != kNoSocket) {
        os::ShutdownSend(m_handle);
    }
}

void Socket::SetNoDelay(bool on) noexcept {
    if (m_handle != kNoSocket) {
        os::SetNoDelay(m_handle, on);
    }
}

Ipv4 Socket::LocalAddress() const {
    Ipv4 address = 0;
    if (os::LocalName(m_handle, &address, nullptr) != 0) {
        ThrowLastSocketError();
    }
    return address;
}

std::uint16_t Socket::LocalPort() const {
    std::uint16_t port = 0;
    if (os::LocalName(m_handle, nullptr, &port) != 0) {
        ThrowLastSocketError();
    }
    return port;
}

Ipv4 Socket::PeerAddress() const {
    Ipv4 address = 0;
    if (os::PeerName(m_handle, &address) != 0) {
        ThrowLastSocketError();
    }
    return address;
}

bool Socket::WaitReadable(int milliseconds, const StopFlag* stop) const {
    return WaitFor(m_handle, os::Wait::Readable, milliseconds, stop);
}

std::size_t Socket::Receive(char* data, std::size_t size) {
    for (;;) {
        const std::ptrdiff_t n = os::Receive(m_handle, data, size);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        const int error = os::LastError();
        if (error != kInterrupted) {
            throw SocketError(error);
        }
    }
}

std::size_t Socket::Send(const char* data, std::size_t size) {
    for (;;) {
        const std::ptrdiff_t n = os::Send(m_handle, data, size);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        const int error = os::LastError();
        if (error != kInterrupted) {
            throw SocketError(error);
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

std::size_t Socket::Send(const char* data, std::size_t size, int stallMs, const StopFlag* stop) {
    for (;;) {
        if (!WaitFor(m_handle, os::Wait::Writable, stallMs, stop)) {
            throw SocketError(kTimedOut);
        }
        // Writable (or in error, which the send reports): take what fits without blocking.
        const std::ptrdiff_t sent = os::SendNow(m_handle, data, size);
        if (sent >= 0) {
            return static_cast<std::size_t>(sent);
        }
        const int error = os::LastError();
        if (error != kInterrupted && error != kWouldBlock) {
            throw SocketError(error);
        }
    }
}

Socket ConnectTcp(const std::string& host, int port, std::chrono::milliseconds timeout,
                  const StopFlag* stop) {
    Socket socket = NewTcpSocket();
    if (os::Bind(socket.Handle(), 0, 0) != 0) {
        ThrowLastSocketError();
    }
    const Ipv4 address = ResolveHost(host);
    if (port < 0 || port > 65535) {
        throw SocketError(kInvalidArgument);
    }
    socket.SetNoDelay(false);  // Nagle's algorithm stays on
    // The system's own wait for an attempt that hears nothing back runs about two minutes: the
    // attempt runs without blocking and the wait for its outcome is ours.
    if (os::SetBlocking(socket.Handle(), false) != 0) {
        ThrowLastSocketError();
    }
    if (os::Connect(socket.Handle(), address, static_cast<std::uint16_t>(port)) != 0) {
        const int error = os::LastError();
        if (error != kInterrupted && error != kInProgress && error != kWouldBlock) {
            throw SocketError(error);
        }
        if (!WaitFor(socket.Handle(), os::Wait::Writable, static_cast<int>(timeout.count()),
                     stop)) {
            throw SocketError(kTimedOut);
        }
        if (const int pending = os::PendingError(socket.Handle()); pending != 0) {
            throw SocketError(pending);
        }
    }
    // Every later call blocks, as before.
    if (os::SetBlocking(socket.Handle(), true) != 0) {
        ThrowLastSocketError();
    }
    return socket;
}

Socket ListenTcp(Ipv4 address, std::uint16_t port, int backlog) {
    Socket socket = NewTcpSocket();
    // A fixed port must be free again at once after a restart, not a minute later; a port the
    // system picks (0) is a fresh one anyway.
    if (port != 0 && os::AllowPortReuse(socket.Handle()) != 0) {
        ThrowLastSocketError();
    }
    if (os::Bind(socket.Handle(), address, port) != 0) {
        ThrowLastSocketError();
    }
    if (os::Listen(socket.Handle(), backlog) != 0) {
        ThrowLastSocketError();
    }
    return socket;
}

Socket AcceptTcp(const Socket& listener, Ipv4* peer) {
    for (;;) {
        const SocketHandle handle = os::Accept(listener.Handle(), peer);
        if (handle != kNoSocket) {
            return Socket(handle);
        }
        const int error = os::LastError();
        if (error != kInterrupted && error != kConnectionAborted) {
            throw SocketError(error);
        }
    }
}

}  // namespace orvanta::net
