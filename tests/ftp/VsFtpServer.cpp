#include "tests/ftp/VsFtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "tests/support/Wait.h"

extern char** environ;

namespace orvanta::ftp::test {

namespace {

const char* const kVsftpd = "/usr/sbin/vsftpd";

sockaddr_in Loopback(int port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    return sa;
}

// vsftpd cannot tell which port it got, so it is given one that was free a moment ago.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa = Loopback(0);
    socklen_t len = sizeof sa;
    ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    ::close(fd);
    return ntohs(sa.sin_port);
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa = Loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

VsFtpServer::VsFtpServer(const std::string& home, bool othersWrite) {
    if (::access(kVsftpd, X_OK) != 0) {
        throw std::runtime_error("vsftpd is not installed");
    }
    m_port = FreePort();
    m_config = home + ".vsftpd.conf";
    std::ofstream(m_config) << "listen=YES\n"
                            << "listen_address=127.0.0.1\n"
                            << "listen_port=" << m_port << "\n"
                            << "background=NO\n"
                            << "run_as_launching_user=YES\n"
                            << "seccomp_sandbox=NO\n"
                            << "local_enable=NO\n"
                            << "anonymous_enable=YES\n"
                            << "no_anon_password=YES\n"
                            << "anon_root=" << home << "\n"
                            << "anon_upload_enable=YES\n"
                            << "write_enable=YES\n"
                            << "deny_file={*..*}\n"
                            << "anon_other_write_enable=" << (othersWrite ? "YES" : "NO") << "\n";
    std::vector<std::string> args = {kVsftpd, m_config};
    char* argv[] = {args[0].data(), args[1].data(), nullptr};
    if (::posix_spawn(&m_pid, kVsftpd, nullptr, nullptr, argv, environ) != 0) {
        m_pid = -1;
        throw std::runtime_error("vsftpd: cannot start");
    }
    // The probe connection is greeted and dropped; it does not disturb later sessions.
    if (!orvanta::test::WaitUntil([&] { return Accepts(m_port); }, std::chrono::seconds(10))) {
        Stop();
        throw std::runtime_error("vsftpd did not start listening");
    }
}

VsFtpServer::~VsFtpServer() {
    Stop();
}

void VsFtpServer::Stop() noexcept {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        if (!orvanta::test::WaitUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; },
                                      std::chrono::seconds(5))) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }
    if (!m_config.empty()) {
        std::remove(m_config.c_str());
    }
}

}  // namespace orvanta::ftp::test
