#include "tests/support/PyFtpServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "tests/support/PyFtpServerScript.h"
#include "tests/support/Wait.h"

extern char** environ;

namespace orvanta::test {

namespace {

// Debian's interpreter carries python3-pyftpdlib; a python3 earlier on PATH may not.
std::string Interpreter() {
    return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

}  // namespace

PyFtpServer::PyFtpServer(const std::string& home, const std::string& user,
                         const std::string& password, int port, std::size_t homeBytes,
                         long readLimit, PyFtpQuirks quirks) {
    char logPattern[] = "/tmp/pyftp-commands-XXXXXX";
    const int logFd = ::mkstemp(logPattern);
    if (logFd < 0) {
        throw std::runtime_error("ftp server: cannot make the command log");
    }
    ::close(logFd);
    m_commandLog = logPattern;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        Stop();
        throw std::runtime_error("ftp server: cannot make pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const std::string python = Interpreter();
    std::vector<std::string> args = {python,
                                     "-c",
                                     kPyFtpServerScript,
                                     home,
                                     user,
                                     password,
                                     std::to_string(port),
                                     m_commandLog,
                                     std::to_string(readLimit),
                                     quirks.withoutSizeMdtmRest ? "1" : "0",
                                     std::to_string(quirks.sizeSurplus)};
    if (homeBytes > 0) {
        // The shell's $0 is the interpreter and $3 the home folder.
        args.insert(args.begin(), {"unshare", "--mount", "--propagation", "private", "sh", "-c",
                                   "mount -t tmpfs -o size=" + std::to_string(homeBytes) +
                                       " orvanta-test \"$3\" && exec \"$0\" \"$@\""});
    }
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const int spawned = ::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        Stop();
        throw std::runtime_error("ftp server: cannot start " + args.front());
    }

    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char chunk[64];
            const ssize_t n = ::read(out[0], chunk, sizeof chunk);
            if (n <= 0) {
                break;  // the interpreter ended before it listened
            }
            text.append(chunk, static_cast<std::size_t>(n));
        }
    }
    ::close(out[0]);
    m_port = text.find('\n') == std::string::npos ? 0 : std::atoi(text.c_str());
    if (m_port <= 0) {
        FailToStart();
    }
}

void PyFtpServer::Stop() noexcept {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        if (!WaitUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; },
                       std::chrono::seconds(5))) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }
    // Only once the server is gone, so it cannot create the log again.
    if (!m_commandLog.empty()) {
        ::unlink(m_commandLog.c_str());
        m_commandLog.clear();
    }
}

}  // namespace orvanta::test
