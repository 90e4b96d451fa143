#include "tests/support/SilentPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace orvanta::test {

SilentPeer::SilentPeer() {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // A backlog of 0 holds one connection that is never accepted.
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(m_listener, 0) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        Close();
        throw std::runtime_error("silent peer: cannot listen");
    }
    m_port = ntohs(sa.sin_port);
    m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_filler < 0 || ::connect(m_filler, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        Close();
        throw std::runtime_error("silent peer: cannot fill the queue");
    }
}

SilentPeer::~SilentPeer() {
    Close();
}

void SilentPeer::Close() noexcept {
    if (m_filler >= 0) {
        ::close(m_filler);
        m_filler = -1;
    }
    if (m_listener >= 0) {
        ::close(m_listener);
        m_listener = -1;
    }
}

}  // namespace orvanta::test
