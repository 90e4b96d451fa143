#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace orvanta::test {

// A MariaDB server of the test's own: a private data folder, a private socket and a free
// loopback port, started as the current user and stopped (its folder removed) on destruction.
// It holds the database "orvanta"; the user "admin" (no password) may use it, and every
// connection of that user starts in it, as a connection string without a database name needs.
class MariaDbServer {
public:
    MariaDbServer();
    ~MariaDbServer();
    MariaDbServer(const MariaDbServer&) = delete;
    MariaDbServer& operator=(const MariaDbServer&) = delete;

    int Port() const { return m_port; }

    // Runs statements as root with the command-line client; throws with its output on failure.
    void Run(const std::string& sql) const;
    // The first column of every row a query returns, as text ("NULL" for null).
    std::vector<std::string> Column(const std::string& sql) const;

private:
    std::string Client(const std::string& sql) const;

    std::filesystem::path m_folder;
    std::filesystem::path m_socket;
    int m_port = 0;
    pid_t m_pid = -1;
};

}  // namespace orvanta::test
