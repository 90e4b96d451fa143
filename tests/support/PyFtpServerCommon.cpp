// What the FTP server fixture does the same on every platform.
#include <fstream>
#include <stdexcept>

#include "tests/support/PyFtpServer.h"

namespace orvanta::test {

std::vector<std::string> PyFtpServer::Commands() const {
    std::ifstream in(m_commandLog);
    std::vector<std::string> commands;
    for (std::string line; std::getline(in, line);) {
        commands.push_back(line);
    }
    return commands;
}

PyFtpServer::~PyFtpServer() {
    Stop();
}

void PyFtpServer::FailToStart() {
    Stop();
    throw std::runtime_error(
        "ftp server: pyftpdlib did not start (is python3-pyftpdlib installed, is the port free?)");
}

}  // namespace orvanta::test
