#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvanta::test {

// Where the server departs from what pyftpdlib answers, for the clients' cases against servers
// that know less or answer wrongly.
struct PyFtpQuirks {
    // SIZE, MDTM and REST are unknown commands (500, as a server of RFC 959 alone answers) and
    // FEAT does not list them.
    bool withoutSizeMdtmRest = false;
    // Added to every size SIZE gives: a server that says it holds more than it does.
    long sizeSurplus = 0;
};

// A real FTP server (pyftpdlib) on 127.0.0.1, one user with full rights over the home folder.
// A Windows test under wine starts it on the Linux side (PyFtpServerWine.cpp), where wine lets
// a Windows program start the host's programs; it cannot have a home of its own size there.
// It listens on the given port, or on one of the system's choosing for port 0, and accepts
// connections once the constructor has returned; the destructor stops it. A port already
// taken fails the constructor.
//
// With homeBytes, the server sees in place of the home folder a file system of that size of
// its own (a tmpfs in a mount namespace of the server's own, gone with the server; nothing is
// mounted for anyone else). That needs the right to make mount namespaces; without it the
// constructor fails.
//
// A read limit above 0 makes it read uploads at about that many bytes a second, so a transfer
// lasts long enough to be watched. Quirks make it answer as a lesser or a lying server would.
class PyFtpServer {
public:
    PyFtpServer(const std::string& home, const std::string& user, const std::string& password,
                int port = 0, std::size_t homeBytes = 0, long readLimit = 0,
                PyFtpQuirks quirks = {});
    ~PyFtpServer();
    PyFtpServer(const PyFtpServer&) = delete;
    PyFtpServer& operator=(const PyFtpServer&) = delete;

    std::string Host() const { return "127.0.0.1"; }
    int Port() const { return m_port; }

    // Every command line the server has received, in order over all sessions; a command is
    // recorded before it is answered.
    std::vector<std::string> Commands() const;

private:
    void Stop() noexcept;
    // Stops what was started and fails the constructor.
    [[noreturn]] void FailToStart();

#ifdef _WIN32
    // The server's process, and the connection it ends with when this side closes it.
    void* m_process = nullptr;
    std::uintptr_t m_lifeline = ~std::uintptr_t{0};
    std::string m_scriptFile;
#else
    pid_t m_pid = -1;
#endif
    int m_port = 0;
    std::string m_commandLog;
};

}  // namespace orvanta::test
