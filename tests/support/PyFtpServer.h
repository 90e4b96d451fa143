#pragma once

#include <sys/types.h>
#include <string>

namespace orvanta::test {

// A real FTP server (pyftpdlib) on 127.0.0.1 with a port of the system's choosing, one user
// with full rights over the home folder. It accepts connections once the constructor has
// returned; the destructor stops it.
class PyFtpServer {
public:
    PyFtpServer(const std::string& home, const std::string& user, const std::string& password);
    ~PyFtpServer();
    PyFtpServer(const PyFtpServer&) = delete;
    PyFtpServer& operator=(const PyFtpServer&) = delete;

    std::string Host() const { return "127.0.0.1"; }
    int Port() const { return m_port; }

private:
    void Stop() noexcept;

    pid_t m_pid = -1;
    int m_port = 0;
};

}  // namespace orvanta::test
