#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/Failure.h"

namespace orvanta::net {

// An IPv4 address in host byte order (127.0.0.1 is 0x7F000001).
using Ipv4 = std::uint32_t;

// The system's handle of a socket: a descriptor on POSIX, a SOCKET on Windows.
#ifdef _WIN32
using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kNoSocket = ~SocketHandle{0};
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

std::string FormatIpv4(Ipv4 address);

// Set from another thread (or a signal handler) to end the waits that were given it early: a
// wait looks at it at least every kStopCheck and raises Stopped once it is true. Waits given
// none block as long as their own limit says.
using StopFlag = std::atomic<bool>;
inline constexpr std::chrono::milliseconds kStopCheck{50};

class Stopped : public Failure {
public:
    Stopped() : Failure("Operation stopped.") {}
};

// "localhost" in any letter case is 127.0.0.1 without a lookup; a dotted IPv4 address is used
// unchanged; anything else goes to the system's lookup, whose first IPv4 address is taken.
// A failed lookup raises SocketError 11001.
Ipv4 ResolveHost(const std::string& host);

// A TCP socket that closes itself. Every call blocks the calling thread and raises SocketError
// on failure; writes never raise SIGPIPE; child processes do not inherit it.
class Socket {
public:
    Socket() = default;
    explicit Socket(SocketHandle handle) : m_handle(handle) {}
    ~Socket() { Close(); }
    Socket(Socket&& other) noexcept : m_handle(other.m_handle) { other.m_handle = kNoSocket; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool IsValid() const { return m_handle != kNoSocket; }
    SocketHandle Handle() const { return m_handle; }

    // Closes without shutting anything down and without sending anything.
    void Close() noexcept;
    // Ends the sending side (the peer reads end of data), ignoring errors.
    void ShutdownSend() noexcept;
    // Closes with a reset, so the peer learns the data stopped short instead of reading a
    // normal end.
    void Abort() noexcept;

    // Sends every piece at once instead of holding small ones back until the previous are
    // acknowledged (Nagle's algorithm), or, with false, holds them again. A refusal only costs
    // speed, so it is ignored.
    void SetNoDelay(bool on) noexcept;

    Ipv4 LocalAddress() const;
    std::uint16_t LocalPort() const;
    Ipv4 PeerAddress() const;

    // True when data (or the peer's close) can be read within the wait; a negative wait means
    // no limit.
    bool WaitReadable(int milliseconds, const StopFlag* stop = nullptr) const;
    // One receive of at most size bytes; 0 means the peer closed the connection.
    std::size_t Receive(char* data, std::size_t size);
    // One send; returns how many bytes the system took.
    std::size_t Send(const char* data, std::size_t size);
    // Repeats sends until the system has taken every byte.
    void SendAll(const char* data, std::size_t size);
    // The same, but gives up with SocketError 10060 once the system has taken nothing for
    // stallMs: the peer has stopped reading and every buffer on the way is full.
    void SendAll(const char* data, std::size_t size, int stallMs);
    // One send that waits at most stallMs for room, then fails with SocketError 10060.
    std::size_t Send(const char* data, std::size_t size, int stallMs,
                     const StopFlag* stop = nullptr);

private:
    SocketHandle m_handle = kNoSocket;
};

// How long a connection attempt that hears nothing back (a host that drops it) may take.
inline constexpr std::chrono::milliseconds kConnectTimeout{21000};

// A TCP connection to host:port: bound to any local address, Nagle left on. Blocks until the
// peer answers, at most the timeout, then fails with SocketError 10060; a refused or
// unreachable peer fails as soon as the system knows.
Socket ConnectTcp(const std::string& host, int port,
                  std::chrono::milliseconds timeout = kConnectTimeout,
                  const StopFlag* stop = nullptr);

// A listening socket on address:port (port 0: the system picks one). A fixed port can be
// listened on again right after the previous listener closed.
Socket ListenTcp(Ipv4 address, std::uint16_t port, int backlog);

// Accepts one waiting connection; peer receives its address.
Socket AcceptTcp(const Socket& listener, Ipv4* peer);

}  // namespace orvanta::net
