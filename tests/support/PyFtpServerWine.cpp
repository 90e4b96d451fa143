// The FTP server for a Windows test under wine: wine starts the host's Linux programs from a
// Windows process, so pyftpdlib runs on the Linux side as it does for the Linux tests. Wine
// cannot signal such a process or hand it pipes, so the server is told its end through a
// lifeline connection it holds to this side, and tells its port through a file.
#include <windows.h>
#include <winsock2.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "tests/support/PeerSocket.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/PyFtpServerScript.h"
#include "tests/support/Wait.h"

namespace orvanta::test {

namespace {

namespace fs = std::filesystem;

// The host's path of a Windows path, from wine's own export.
std::string HostPath(const fs::path& path) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    static const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr) {
        throw std::runtime_error("ftp server: the Linux-side server needs wine");
    }
    char* name = unixName(fs::absolute(path).wstring().c_str());
    if (name == nullptr) {
        throw std::runtime_error("ftp server: no host path for " + path.string());
    }
    std::string hostPath(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return hostPath;
}

std::string Quoted(const std::string& argument) {
    return "\"" + argument + "\"";
}

}  // namespace

PyFtpServer::PyFtpServer(const std::string& home, const std::string& user,
                         const std::string& password, int port, std::size_t homeBytes,
                         long readLimit, PyFtpQuirks quirks) {
    if (homeBytes > 0) {
        throw std::runtime_error("ftp server: a home of its own size needs Linux");
    }
    const fs::path folder =
        fs::temp_directory_path() / ("pyftp-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                     std::to_string(::GetTickCount64()) + "-" +
                                     std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    fs::create_directories(folder);
    m_scriptFile = folder.string();
    m_commandLog = (folder / "commands.log").string();
    std::ofstream(folder / "server.py") << kPyFtpServerScript;
    std::ofstream(m_commandLog).flush();

    // The lifeline: the server connects here first and ends when this side closes it.
    const PeerSocket listener = NewPeerSocket();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (listener == kNoPeerSocket ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        CloseSocket(listener);
        throw std::runtime_error("ftp server: cannot listen for the lifeline");
    }

    std::string command = Quoted("/usr/bin/python3") + " " + Quoted(HostPath(folder / "server.py"));
    for (const std::string& argument :
         {HostPath(home), user, password, std::to_string(port), HostPath(m_commandLog),
          std::to_string(readLimit), std::string(quirks.withoutSizeMdtmRest ? "1" : "0"),
          std::to_string(quirks.sizeSurplus), std::to_string(ntohs(address.sin_port)),
          HostPath(folder / "port")}) {
        command += " " + Quoted(argument);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        CloseSocket(listener);
        throw std::runtime_error("ftp server: cannot start /usr/bin/python3");
    }
    ::CloseHandle(process.hThread);
    m_process = process.hProcess;

    pollfd waiting{listener, POLLIN, 0};
    if (PollSockets(&waiting, 1, 15000) > 0) {
        m_lifeline = static_cast<std::uintptr_t>(AcceptPeer(listener, nullptr));
    }
    CloseSocket(listener);
    WaitUntil([&] { return fs::exists(folder / "port"); }, std::chrono::seconds(15));
    std::ifstream(folder / "port") >> m_port;
    if (m_port <= 0) {
        FailToStart();
    }
}

void PyFtpServer::Stop() noexcept {
    if (m_lifeline != ~std::uintptr_t{0}) {
        CloseSocket(static_cast<PeerSocket>(m_lifeline));
        m_lifeline = ~std::uintptr_t{0};
    }
    if (m_process != nullptr) {
        ::WaitForSingleObject(m_process, 5000);
        ::CloseHandle(m_process);
        m_process = nullptr;
    }
    // Only once the server is gone, so it cannot create the log again.
    if (!m_scriptFile.empty()) {
        std::error_code ignored;
        fs::remove_all(m_scriptFile, ignored);
        m_scriptFile.clear();
    }
}

}  // namespace orvanta::test
