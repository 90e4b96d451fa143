#include "tests/support/MariaDbServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/Wait.h"

namespace orvanta::test {

namespace {

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        throw std::runtime_error("no free loopback port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a program to its end with its output in a log; true when it exited with 0.
bool RunProgram(const std::vector<std::string>& args, const std::filesystem::path& log) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool IsRoot() {
    return ::geteuid() == 0;
}

}  // namespace

MariaDbServer::MariaDbServer() {
    m_folder =
        std::filesystem::temp_directory_path() / ("orvanta-mariadb-" + std::to_string(::getpid()));
    std::filesystem::remove_all(m_folder);
    std::filesystem::create_directories(m_folder);
    m_socket = m_folder / "mysqld.sock";
    const std::string data = (m_folder / "data").string();
    // Small files: the server is for a test run, not for keeping.
    const std::vector<std::string> small = {"--innodb-log-file-size=4M",
                                            "--innodb-buffer-pool-size=16M"};
    std::vector<std::string> install = {"mariadb-install-db", "--no-defaults", "--datadir=" + data,
                                        "--auth-root-authentication-method=normal",
                                        "--skip-test-db"};
    if (IsRoot()) {
        install.push_back("--user=root");
    }
    install.insert(install.end(), small.begin(), small.end());
    if (!RunProgram(install, m_folder / "install.log")) {
        throw std::runtime_error("mariadb-install-db failed:\n" +
                                 ReadFile(m_folder / "install.log"));
    }

    m_port = FreeLoopbackPort();
    std::vector<std::string> server = {
        "/usr/sbin/mariadbd", "--no-defaults", "--datadir=" + data, "--socket=" + m_socket.string(),
        "--port=" + std::to_string(m_port), "--bind-address=127.0.0.1", "--skip-name-resolve",
        "--pid-file=" + (m_folder / "mysqld.pid").string(),
        "--log-error=" + (m_folder / "error.log").string(),
        // A locked row fails a statement within a second.
        "--innodb-lock-wait-timeout=1", "--init-connect=USE orvanta"};
    if (IsRoot()) {
        server.push_back("--user=root");
    }
    server.insert(server.end(), small.begin(), small.end());
    m_pid = ::fork();
    if (m_pid == 0) {
        // The server goes with the test process, however that ends.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> argv;
        for (const std::string& arg : server) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    bool exited = false;
    const bool ready = WaitUntil(
        [&] {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                exited = true;
                return true;
            }
            return std::filesystem::exists(m_socket) &&
                   RunProgram({"mariadb-admin", "--no-defaults", "--socket=" + m_socket.string(),
                               "--user=root", "ping"},
                              m_folder / "ping.log");
        },
        std::chrono::seconds(120));
    if (exited || !ready) {
        const std::string log = ReadFile(m_folder / "error.log");
        if (exited) {
            m_pid = -1;
        }
        throw std::runtime_error("MariaDB server did not start:\n" + log);
    }
    Run("CREATE DATABASE orvanta;"
        "CREATE USER admin@'127.0.0.1'; GRANT ALL ON orvanta.* TO admin@'127.0.0.1';"
        "CREATE USER admin@'::1'; GRANT ALL ON orvanta.* TO admin@'::1';"
        "CREATE USER admin@localhost; GRANT ALL ON orvanta.* TO admin@localhost;");
}

MariaDbServer::~MariaDbServer() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        const bool stopped = WaitUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; },
                                       std::chrono::seconds(60));
        if (!stopped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

std::string MariaDbServer::Client(const std::string& sql) const {
    const std::filesystem::path script = m_folder / "statements.sql";
    std::ofstream(script) << sql;
    const std::filesystem::path log = m_folder / "client.log";
    const bool ok = RunProgram(
        {"sh", "-c",
         "exec mariadb --no-defaults --socket='" + m_socket.string() +
             "' --user=root --batch --skip-column-names orvanta < '" + script.string() + "'"},
        log);
    const std::string output = ReadFile(log);
    if (!ok) {
        throw std::runtime_error("mariadb client failed on " + sql + ":\n" + output);
    }
    return output;
}

void MariaDbServer::Run(const std::string& sql) const {
    // Before the database exists the client starts without one.
    if (sql.rfind("CREATE DATABASE orvanta;", 0) == 0) {
        const std::filesystem::path log = m_folder / "client.log";
        if (!RunProgram({"mariadb", "--no-defaults", "--socket=" + m_socket.string(), "--user=root",
                         "-e", sql},
                        log)) {
            throw std::runtime_error("mariadb client failed:\n" + ReadFile(log));
        }
        return;
    }
    Client(sql);
}

std::vector<std::string> MariaDbServer::Column(const std::string& sql) const {
    std::istringstream lines(Client(sql));
    std::vector<std::string> values;
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t tab = line.find('\t');
        values.push_back(tab == std::string::npos ? line : line.substr(0, tab));
    }
    return values;
}

}  // namespace orvanta::test
