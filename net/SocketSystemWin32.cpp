// The socket calls on Windows Sockets 2. Their error codes are the table's numbers already.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>

#include "net/SocketError.h"
#include "net/SocketSystem.h"

namespace orvanta::net::os {

namespace {

sockaddr_in MakeAddress(Ipv4 address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    return sa;
}

// Windows Sockets must be started once per process before the first call; the process's end
// releases them.
bool Started() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

int ClampedSize(std::size_t size) {
    return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

void KeepFromChildren(SOCKET handle) {
    ::SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

int LastError() {
    return ::WSAGetLastError();
}

SocketHandle OpenTcp() {
    if (!Started()) {
        return kNoSocket;
    }
    SOCKET handle =
        ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (handle == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
        // Systems without the flag: clear the inheritance afterwards.
        handle = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, 0);
        if (handle != INVALID_SOCKET) {
            KeepFromChildren(handle);
        }
    }
    return handle == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(handle);
}

void Close(SocketHandle handle) noexcept {
    ::closesocket(handle);
}

int Bind(SocketHandle handle, Ipv4 address, std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    return ::bind(handle, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int Listen(SocketHandle handle, int backlog) {
    return ::listen(handle, backlog) == 0 ? 0 : -1;
}

int Connect(SocketHandle handle, Ipv4 address, std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    return ::connect(handle, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

SocketHandle Accept(SocketHandle listener, Ipv4* peer) {
    sockaddr_in sa{};
    int len = sizeof sa;
    const SOCKET handle = ::accept(listener, reinterpret_cast<sockaddr*>(&sa), &len);
    if (handle == INVALID_SOCKET) {
        return kNoSocket;
    }
    KeepFromChildren(handle);
    if (peer) {
        *peer = ntohl(sa.sin_addr.s_addr);
    }
    return static_cast<SocketHandle>(handle);
}

int LocalName(SocketHandle handle, Ipv4* address, std::uint16_t* port) {
    sockaddr_in sa{};
    int len = sizeof sa;
    if (::getsockname(handle, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        return -1;
    }
    if (address) {
        *address = ntohl(sa.sin_addr.s_addr);
    }
    if (port) {
        *port = ntohs(sa.sin_port);
    }
    return 0;
}

int PeerName(SocketHandle handle, Ipv4* address) {
    sockaddr_in sa{};
    int len = sizeof sa;
    if (::getpeername(handle, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        return -1;
    }
    *address = ntohl(sa.sin_addr.s_addr);
    return 0;
}

int PendingError(SocketHandle handle) {
    int error = 0;
    int len = sizeof error;
    if (::getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0) {
        return LastError();
    }
    return error;
}

int SetBlocking(SocketHandle handle, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ::ioctlsocket(handle, FIONBIO, &nonBlocking) == 0 ? 0 : -1;
}

int SetNoDelay(SocketHandle handle, bool on) {
    const BOOL value = on ? TRUE : FALSE;
    return ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value),
                        sizeof value) == 0
               ? 0
               : -1;
}

int AllowPortReuse(SocketHandle) {
    // Windows binds a listener beside its closing connections anyway; its SO_REUSEADDR would
    // let another program take over the port.
    return 0;
}

int SetResetOnClose(SocketHandle handle) {
    const linger reset{1, 0};
    return ::setsockopt(handle, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
                        sizeof reset) == 0
               ? 0
               : -1;
}

int ShutdownSend(SocketHandle handle) {
    return ::shutdown(handle, SD_SEND) == 0 ? 0 : -1;
}

int Poll(SocketHandle handle, Wait what, int milliseconds) {
    WSAPOLLFD p{};
    p.fd = handle;
    p.events = what == Wait::Readable ? POLLRDNORM : POLLWRNORM;
    const int n = ::WSAPoll(&p, 1, milliseconds < 0 ? -1 : milliseconds);
    return n == SOCKET_ERROR ? -1 : n;
}

// Windows sends raise no signal, so nothing needs suppressing.
std::ptrdiff_t Send(SocketHandle handle, const char* data, std::size_t size) {
    const int n = ::send(handle, data, ClampedSize(size), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

// Windows has no per-call non-blocking flag: the socket is non-blocking for this one send.
std::ptrdiff_t SendNow(SocketHandle handle, const char* data, std::size_t size) {
    u_long on = 1;
    if (::ioctlsocket(handle, FIONBIO, &on) != 0) {
        return -1;
    }
    const int n = ::send(handle, data, ClampedSize(size), 0);
    const int error = ::WSAGetLastError();
    u_long off = 0;
    ::ioctlsocket(handle, FIONBIO, &off);
    ::WSASetLastError(error);
    return n == SOCKET_ERROR ? -1 : n;
}

std::ptrdiff_t Receive(SocketHandle handle, char* data, std::size_t size) {
    const int n = ::recv(handle, data, ClampedSize(size), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

bool ParseDotted(const std::string& text, Ipv4* address) {
    if (!Started()) {
        return false;
    }
    in_addr parsed{};
    if (::inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        return false;
    }
    *address = ntohl(parsed.s_addr);
    return true;
}

bool Lookup(const std::string& host, Ipv4* address) {
    if (!Started()) {
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        return false;
    }
    *address = ntohl(reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(found);
    return true;
}

}  // namespace orvanta::net::os
