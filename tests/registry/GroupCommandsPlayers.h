#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>

#include "tests/support/LoopbackPeer.h"
#include "tests/support/PeerSocket.h"
#include "tests/support/PyFtpServer.h"

namespace orvanta::test {

// One player as the group commands reach it: a line peer on its control port P that records
// what it receives, and a real FTP server on P + 1 (user "orvanta", password "brindlemoss")
// storing into a folder of its own (reading uploads at most ftpReadLimit bytes a second when
// above 0), with the quirks given. The pair of ports is found by trying: the peer takes a port
// of the system's choosing and the server the next one, until that one is free.
class SimulatedPlayer {
public:
    explicit SimulatedPlayer(std::filesystem::path home, bool withFtp = true, long ftpReadLimit = 0,
                             PyFtpQuirks ftpQuirks = {})
        : m_home(std::move(home)), m_ftpReadLimit(ftpReadLimit), m_ftpQuirks(ftpQuirks) {
        std::filesystem::create_directories(m_home);
        for (int attempt = 0;; ++attempt) {
            m_line = std::make_unique<LoopbackPeer>();
            if (!withFtp) {
                return;
            }
            try {
                StartFtp();
                return;
            } catch (const std::runtime_error&) {
                if (attempt == 20) {
                    throw;
                }
            }
        }
    }

    // The FTP server stops, closing its sessions, and a new one takes the same port.
    void RestartFtp() {
        m_ftp.reset();
        StartFtp();
    }

    int Port() const { return m_line->Port(); }
    LoopbackPeer& Line() { return *m_line; }
    PyFtpServer& Ftp() { return *m_ftp; }
    const std::filesystem::path& Home() const { return m_home; }

    // A file the FTP server stored, as bytes; empty when there is none.
    std::string Stored(const std::string& name) const {
        std::ifstream in(m_home / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    void StartFtp() {
        m_ftp = std::make_unique<PyFtpServer>(m_home.string(), "orvanta", "brindlemoss",
                                              m_line->Port() + 1, 0, m_ftpReadLimit, m_ftpQuirks);
    }

    std::filesystem::path m_home;
    long m_ftpReadLimit = 0;
    PyFtpQuirks m_ftpQuirks;
    std::unique_ptr<LoopbackPeer> m_line;
    std::unique_ptr<PyFtpServer> m_ftp;
};

// A loopback port on which nothing listens: connecting to it is refused.
inline int RefusingPort() {
    const PeerSocket socket = NewPeerSocket();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = socket != kNoPeerSocket &&
                       ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (socket != kNoPeerSocket) {
        CloseSocket(socket);
    }
    if (!bound) {
        throw std::runtime_error("cannot find a free loopback port");
    }
    return ntohs(address.sin_port);
}

}  // namespace orvanta::test
