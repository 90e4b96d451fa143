#pragma once

#include <cstdint>

namespace orvanta::test {

// A TCP port on 127.0.0.1 that never answers a connection attempt, as a host that drops them
// does: its listening socket's queue is held full by one connection of its own, so the system
// drops every further SYN and the connecting side hears nothing at all.
class SilentPeer {
public:
    SilentPeer();
    ~SilentPeer();
    SilentPeer(const SilentPeer&) = delete;
    SilentPeer& operator=(const SilentPeer&) = delete;

    int Port() const { return m_port; }

private:
    void Close() noexcept;

    // The peers' socket handles (an int on POSIX, a SOCKET on Windows).
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_listener = kNone;
    std::intptr_t m_filler = kNone;
    int m_port = 0;
};

}  // namespace orvanta::test
