#include "tests/support/SilentPeer.h"

#include <stdexcept>

#include "tests/support/PeerSocket.h"

namespace orvanta::test {

SilentPeer::SilentPeer() {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    const PeerSocket listener = NewPeerSocket();
    if (listener != kNoPeerSocket) {
        m_listener = static_cast<std::intptr_t>(listener);
    }
    // A backlog of 0 holds one connection that is never accepted.
    if (listener == kNoPeerSocket ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(listener, 0) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        Close();
        throw std::runtime_error("silent peer: cannot listen");
    }
    m_port = ntohs(sa.sin_port);
    const PeerSocket filler = NewPeerSocket();
    if (filler != kNoPeerSocket) {
        m_filler = static_cast<std::intptr_t>(filler);
    }
    if (filler == kNoPeerSocket ||
        ::connect(filler, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        Close();
        throw std::runtime_error("silent peer: cannot fill the queue");
    }
}

SilentPeer::~SilentPeer() {
    Close();
}

void SilentPeer::Close() noexcept {
    if (m_filler != kNone) {
        CloseSocket(static_cast<PeerSocket>(m_filler));
        m_filler = kNone;
    }
    if (m_listener != kNone) {
        CloseSocket(static_cast<PeerSocket>(m_listener));
        m_listener = kNone;
    }
}

}  // namespace orvanta::test
