#include "tests/support/LoopbackPeer.h"

#include <stdexcept>

#include "tests/support/PeerSocket.h"
#include "tests/support/Wait.h"

namespace orvanta::test {

namespace {

PeerSocket Native(std::intptr_t handle) {
    return static_cast<PeerSocket>(handle);
}

sockaddr_in Loopback(int port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    return sa;
}

}  // namespace

LoopbackPeer::LoopbackPeer() {
    const PeerSocket listener = NewPeerSocket();
    sockaddr_in sa = Loopback(0);
    // Like every listener of the program and the tests: a port free again at once.
    AllowPeerPortReuse(listener);
    if (listener == kNoPeerSocket ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(listener, 64) != 0) {
        if (listener != kNoPeerSocket) {
            CloseSocket(listener);
        }
        throw std::runtime_error("loopback peer: cannot listen");
    }
    m_listener = static_cast<Handle>(listener);
    socklen_t len = sizeof sa;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len);
    m_port = ntohs(sa.sin_port);
    m_thread = std::thread([this] { Run(); });
}

LoopbackPeer::~LoopbackPeer() {
    m_stop = true;
    // A connection of our own wakes the thread's wait at once; it would end within its poll
    // interval anyway.
    const PeerSocket wake = NewPeerSocket();
    if (wake != kNoPeerSocket) {
        sockaddr_in sa = Loopback(m_port);
        (void)::connect(wake, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    }
    m_thread.join();
    if (wake != kNoPeerSocket) {
        CloseSocket(wake);
    }
    for (Connection& c : m_connections) {
        if (c.fd >= 0) {
            CloseSocket(Native(c.fd));
        }
    }
    CloseSocket(Native(m_listener));
}

void LoopbackPeer::Run() {
    while (!m_stop) {
        std::vector<pollfd> fds;
        pollfd listening{};
        listening.fd = Native(m_listener);
        listening.events = POLLIN;
        fds.push_back(listening);
        std::vector<int> indexes;
        {
            std::lock_guard lock(m_mutex);
            if (m_reading) {
                for (int i = 0; i < static_cast<int>(m_connections.size()); ++i) {
                    if (m_connections[i].fd >= 0 && !m_connections[i].clientClosed) {
                        pollfd p{};
                        p.fd = Native(m_connections[i].fd);
                        p.events = POLLIN;
                        fds.push_back(p);
                        indexes.push_back(i);
                    }
                }
            }
        }
        if (PollSockets(fds.data(), fds.size(), 50) <= 0 || m_stop) {
            continue;
        }
        if (fds[0].revents & POLLIN) {
            const PeerSocket fd = AcceptPeer(Native(m_listener), nullptr);
            if (fd != kNoPeerSocket) {
                std::lock_guard lock(m_mutex);
                m_connections.push_back({static_cast<Handle>(fd), {}, false});
            }
        }
        for (std::size_t k = 1; k < fds.size(); ++k) {
            if (!fds[k].revents) {
                continue;
            }
            char buffer[65536];
            const auto n = ::recv(fds[k].fd, buffer, sizeof buffer, 0);
            std::lock_guard lock(m_mutex);
            Connection& c = m_connections[indexes[k - 1]];
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

LoopbackPeer::Handle LoopbackPeer::FdOf(int index) const {
    std::lock_guard lock(m_mutex);
    if (index >= static_cast<int>(m_connections.size())) {
        throw std::runtime_error("loopback peer: no such connection");
    }
    return m_connections[index].fd;
}

void LoopbackPeer::Send(const std::string& bytes, int index) {
    const PeerSocket fd = Native(FdOf(index));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto n =
            ::send(fd, bytes.data() + done, static_cast<int>(bytes.size() - done), kNoSignal);
        if (n <= 0) {
            throw std::runtime_error("loopback peer: send failed");
        }
        done += static_cast<std::size_t>(n);
    }
}

void LoopbackPeer::Close(int index) {
    std::lock_guard lock(m_mutex);
    Connection& c = m_connections.at(index);
    ::shutdown(Native(c.fd), kShutBoth);
    CloseSocket(Native(c.fd));
    c.fd = -1;
}

void LoopbackPeer::Reset(int index) {
    std::lock_guard lock(m_mutex);
    Connection& c = m_connections.at(index);
    const linger l{1, 0};  // close with RST instead of FIN
    SetPeerOption(Native(c.fd), SOL_SOCKET, SO_LINGER, l);
    CloseSocket(Native(c.fd));
    c.fd = -1;
}

void LoopbackPeer::StopReading() {
    m_reading = false;
}

}  // namespace orvanta::test
