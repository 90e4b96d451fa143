// The socket calls on POSIX systems.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "net/SocketError.h"
#include "net/SocketSystem.h"

namespace orvanta::net {

namespace {

constexpr std::pair<int, int> kErrnoCodes[] = {
    {EINTR, 10004},        {EBADF, 10009},           {EACCES, 10013},
    {EPERM, 10013},        {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},       {ENFILE, 10024},          {EAGAIN, 10035},
    {EINPROGRESS, 10036},  {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},  {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},   {ENOBUFS, 10055},         {ENOMEM, 10055},
    {EISCONN, 10056},      {ENOTCONN, 10057},        {EPIPE, 10058},
    {ESHUTDOWN, 10058},    {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061}, {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
};

sockaddr_in MakeAddress(Ipv4 address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    return sa;
}

}  // namespace

int SocketCodeFromErrno(int err) {
    for (const auto& [number, code] : kErrnoCodes) {
        if (number == err) {
            return code;
        }
    }
    // Outside the table: keep the number visible; the text after CR LF is then empty.
    return 10000 + err;
}

namespace os {

int LastError() {
    return SocketCodeFromErrno(errno);
}

SocketHandle OpenTcp() {
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

void Close(SocketHandle handle) noexcept {
    ::close(handle);
}

int Bind(SocketHandle handle, Ipv4 address, std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    return ::bind(handle, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

int Listen(SocketHandle handle, int backlog) {
    return ::listen(handle, backlog);
}

int Connect(SocketHandle handle, Ipv4 address, std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    return ::connect(handle, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

SocketHandle Accept(SocketHandle listener, Ipv4* peer) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
    if (fd >= 0 && peer) {
        *peer = ntohl(sa.sin_addr.s_addr);
    }
    return fd;
}

int LocalName(SocketHandle handle, Ipv4* address, std::uint16_t* port) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
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
    socklen_t len = sizeof sa;
    if (::getpeername(handle, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        return -1;
    }
    *address = ntohl(sa.sin_addr.s_addr);
    return 0;
}

int PendingError(SocketHandle handle) {
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
        return LastError();
    }
    return error == 0 ? 0 : SocketCodeFromErrno(error);
}

int SetBlocking(SocketHandle handle, bool blocking) {
    const int flags = ::fcntl(handle, F_GETFL);
    if (flags < 0) {
        return -1;
    }
    return ::fcntl(handle, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

int SetNoDelay(SocketHandle handle, bool on) {
    const int value = on ? 1 : 0;
    return ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
}

int AllowPortReuse(SocketHandle handle) {
    const int on = 1;
    return ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

int SetResetOnClose(SocketHandle handle) {
    const linger reset{1, 0};
    return ::setsockopt(handle, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
}

int ShutdownSend(SocketHandle handle) {
    return ::shutdown(handle, SHUT_WR);
}

int Poll(SocketHandle handle, Wait what, int milliseconds) {
    pollfd p{handle, static_cast<short>(what == Wait::Readable ? POLLIN : POLLOUT), 0};
    return ::poll(&p, 1, milliseconds < 0 ? -1 : milliseconds);
}

std::ptrdiff_t Send(SocketHandle handle, const char* data, std::size_t size) {
    return ::send(handle, data, size, MSG_NOSIGNAL);
}

std::ptrdiff_t SendNow(SocketHandle handle, const char* data, std::size_t size) {
    return ::send(handle, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

std::ptrdiff_t Receive(SocketHandle handle, char* data, std::size_t size) {
    return ::recv(handle, data, size, 0);
}

bool ParseDotted(const std::string& text, Ipv4* address) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        return false;
    }
    *address = ntohl(parsed.s_addr);
    return true;
}

bool Lookup(const std::string& host, Ipv4* address) {
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

}  // namespace os

}  // namespace orvanta::net
