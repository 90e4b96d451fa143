#pragma once

// The test peers' own socket calls, on POSIX and on Windows alike. They stay apart from the
// code under test (net/), so that a fault there cannot hide itself in the peers too.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstddef>

namespace orvanta::test {

#ifdef _WIN32
using PeerSocket = SOCKET;
inline constexpr PeerSocket kNoPeerSocket = INVALID_SOCKET;
inline constexpr int kNoSignal = 0;  // Windows sends raise no signal
inline constexpr int kShutBoth = SD_BOTH;

// Windows Sockets are started once per process; the process's end releases them.
inline void StartSockets() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
inline void CloseSocket(PeerSocket socket) {
    ::closesocket(socket);
}
inline int PollSockets(pollfd* fds, std::size_t count, int milliseconds) {
    return ::WSAPoll(fds, static_cast<ULONG>(count), milliseconds);
}
// A new TCP socket that child processes do not inherit.
inline PeerSocket NewPeerSocket() {
    StartSockets();
    return ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
}
inline PeerSocket AcceptPeer(PeerSocket listener, sockaddr_in* from) {
    int length = sizeof(sockaddr_in);
    return ::accept(listener, reinterpret_cast<sockaddr*>(from), from ? &length : nullptr);
}
// Whether the last failed call met the peer's reset.
inline bool LastErrorWasReset() {
    return ::WSAGetLastError() == WSAECONNRESET;
}
// Windows binds a listener beside its closing connections anyway; its SO_REUSEADDR would let
// another program take over the port.
inline void AllowPeerPortReuse(PeerSocket) {}
#else
using PeerSocket = int;
inline constexpr PeerSocket kNoPeerSocket = -1;
inline constexpr int kNoSignal = MSG_NOSIGNAL;
inline constexpr int kShutBoth = SHUT_RDWR;

inline void StartSockets() {}
inline void CloseSocket(PeerSocket socket) {
    ::close(socket);
}
inline int PollSockets(pollfd* fds, std::size_t count, int milliseconds) {
    return ::poll(fds, count, milliseconds);
}
// Not inherited, so the FTP servers that tests start do not hold the peers' connections.
inline PeerSocket NewPeerSocket() {
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
inline PeerSocket AcceptPeer(PeerSocket listener, sockaddr_in* from) {
    socklen_t length = sizeof(sockaddr_in);
    return ::accept4(listener, reinterpret_cast<sockaddr*>(from), from ? &length : nullptr,
                     SOCK_CLOEXEC);
}
inline bool LastErrorWasReset() {
    return errno == ECONNRESET;
}
inline void AllowPeerPortReuse(PeerSocket socket) {
    const int reuse = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
}
#endif

// setsockopt takes its value through a pointer whose type differs between the platforms.
template <class T>
int SetPeerOption(PeerSocket socket, int level, int name, const T& value) {
    return ::setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace orvanta::test
