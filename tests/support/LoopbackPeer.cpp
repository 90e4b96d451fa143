#include "tests/support/LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/Wait.h"

namespace orvanta::test {

LoopbackPeer::LoopbackPeer() {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = 0;
    // Like every listener of the program and the tests: a port free again at once.
    const int reuse = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(m_listener, 64) != 0) {
        throw std::runtime_error("loopback peer: cannot listen");
    }
    socklen_t len = sizeof sa;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&sa), &len);
    m_port = ntohs(sa.sin_port);
    if (::pipe(m_wake) != 0) {
        throw std::runtime_error("loopback peer: cannot make pipe");
    }
    m_thread = std::thread([this] { Run(); });
}

LoopbackPeer::~LoopbackPeer() {
    m_stop = true;
    (void)!::write(m_wake[1], "x", 1);
    m_thread.join();
    for (Connection& c : m_connections) {
        if (c.fd >= 0) {
            ::close(c.fd);
        }
    }
    ::close(m_listener);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

void LoopbackPeer::Run() {
    while (!m_stop) {
        std::vector<pollfd> fds;
        fds.push_back({m_wake[0], POLLIN, 0});
        fds.push_back({m_listener, POLLIN, 0});
        std::vector<int> indexes;
        {
            std::lock_guard lock(m_mutex);
            if (m_reading) {
                for (int i = 0; i < static_cast<int>(m_connections.size()); ++i) {
                    if (m_connections[i].fd >= 0 && !m_connections[i].clientClosed) {
                        fds.push_back({m_connections[i].fd, POLLIN, 0});
                        indexes.push_back(i);
                    }
                }
            }
        }
        if (::poll(fds.data(), fds.size(), 50) <= 0) {
            continue;
        }
        if (fds[0].revents) {
            char drain[16];
            (void)!::read(m_wake[0], drain, sizeof drain);
        }
        if (fds[1].revents & POLLIN) {
            int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                std::lock_guard lock(m_mutex);
                m_connections.push_back({fd, {}, false});
            }
        }
        for (std::size_t k = 2; k < fds.size(); ++k) {
            if (!fds[k].revents) {
                continue;
            }
            char buffer[65536];
            ssize_t n = ::recv(fds[k].fd, buffer, sizeof buffer, 0);
            std::lock_guard lock(m_mutex);
            Connection& c = m_connections[indexes[k - 2]];
            if (n > 0) {
                c.received.append(buffer, static_cast<std::size_t>(n));
            } else {
                c.clientClosed = true;
            }
        }
    }
}

int LoopbackPeer::ConnectionCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_connections.size());
}

bool LoopbackPeer::WaitForConnections(int count, std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return ConnectionCount() >= count; }, timeout);
}

std::string LoopbackPeer::Received(int index) const {
    std::lock_guard lock(m_mutex);
    return index < static_cast<int>(m_connections.size()) ? m_connections[index].received
                                                          : std::string();
}

bool LoopbackPeer::WaitForBytes(std::size_t bytes, int index,
                                std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return Received(index).size() >= bytes; }, timeout);
}

bool LoopbackPeer::ClientClosed(int index) const {
    std::lock_guard lock(m_mutex);
    return index < static_cast<int>(m_connections.size()) && m_connections[index].clientClosed;
}

bool LoopbackPeer::WaitForClientClosed(int index, std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return ClientClosed(index); }, timeout);
}

int LoopbackPeer::FdOf(int index) const {
    std::lock_guard lock(m_mutex);
    if (index >= static_cast<int>(m_connections.size())) {
        throw std::runtime_error("loopback peer: no such connection");
    }
    return m_connections[index].fd;
}

void LoopbackPeer::Send(const std::string& bytes, int index) {
    int fd = FdOf(index);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            throw std::runtime_error("loopback peer: send failed");
        }
        done += static_cast<std::size_t>(n);
    }
}

void LoopbackPeer::Close(int index) {
    std::lock_guard lock(m_mutex);
    Connection& c = m_connections.at(index);
    ::shutdown(c.fd, SHUT_RDWR);
    ::close(c.fd);
    c.fd = -1;
}

void LoopbackPeer::Reset(int index) {
    std::lock_guard lock(m_mutex);
    Connection& c = m_connections.at(index);
    linger l{1, 0};  // close with RST instead of FIN
    ::setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(c.fd);
    c.fd = -1;
}

void LoopbackPeer::StopReading() {
    m_reading = false;
}

}  // namespace orvanta::test
