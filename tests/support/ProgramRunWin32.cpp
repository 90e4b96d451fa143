#include "tests/support/ProgramRun.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace orvanta::test {

namespace {

// The output as text: a program's text-mode output ends its lines with CR LF on Windows, read
// back here as the "\n" it wrote.
std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string text = bytes.str();
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
        ++at;
    }
    return text;
}

// A handle the started program inherits as one of its standard handles.
HANDLE Inheritable(const std::filesystem::path& file, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// One argument as the C run-time's parser reads it back (no argument here holds a quote).
std::wstring Quoted(const std::string& argument) {
    return L"\"" + std::filesystem::path(argument).wstring() + L"\"";
}

}  // namespace

ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                         std::chrono::milliseconds timeout) {
    // Output goes to files, so a program writing much never blocks on a full pipe.
    static std::atomic<int> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path() /
                                       ("orvanta-run-" + std::to_string(::GetCurrentProcessId()) +
                                        "-" + std::to_string(counter++));
    const std::filesystem::path outFile = base.string() + ".out";
    const std::filesystem::path errFile = base.string() + ".err";

    const std::filesystem::path program = std::filesystem::path(path).make_preferred();
    std::wstring commandLine = Quoted(program.string());
    for (const std::string& arg : args) {
        commandLine += L" " + Quoted(arg);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = Inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = Inheritable(outFile, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = Inheritable(errFile, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    const BOOL started =
        ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                         CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
    if (!started) {
        throw std::runtime_error("cannot start " + path);
    }
    ::CloseHandle(process.hThread);

    const bool ended = ::WaitForSingleObject(process.hProcess,
                                             static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
    if (!ended) {
        ::TerminateProcess(process.hProcess, 1);
        ::WaitForSingleObject(process.hProcess, INFINITE);
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    ProgramResult result;
    result.status = ended ? static_cast<int>(code) : -1;
    result.out = ReadText(outFile);
    result.err = ReadText(errFile);
    std::error_code ignored;
    std::filesystem::remove(outFile, ignored);
    std::filesystem::remove(errFile, ignored);
    return result;
}

}  // namespace orvanta::test
