#pragma once

// What the system words in a text a test expects: its error texts, and its paths as the program
// prints them. Computed from the system the test runs on, as the program gets them.

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#endif

#include <string>

namespace orvanta::test {

#ifdef _WIN32
using SystemError = DWORD;
// Opening a file for writing: its folder is not there; a folder is where the file would be
// (which Windows tells only as a denied access).
inline constexpr SystemError kNoSuchFolder = ERROR_PATH_NOT_FOUND;
inline constexpr SystemError kAFolderInItsPlace = ERROR_ACCESS_DENIED;
#else
using SystemError = int;
inline constexpr SystemError kNoSuchFolder = ENOENT;
inline constexpr SystemError kAFolderInItsPlace = EISDIR;
#endif

// The system's text for the error (strerror's; FormatMessage's on Windows, in the system's own
// language), without the line break and the full stop Windows ends it with: the program's
// messages put it inside a sentence of their own.
inline std::string SystemErrorText(SystemError error) {
#ifdef _WIN32
    char buffer[512] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                         0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    return text;
#else
    return std::strerror(error);
#endif
}

// A text as the program prints it for a terminal or a log: a backslash doubled, so that its
// escapes read unambiguously (Windows' paths have them).
inline std::string Printed(std::string text) {
    for (std::size_t at = text.find('\\'); at != std::string::npos; at = text.find('\\', at + 2)) {
        text.insert(at, 1, '\\');
    }
    return text;
}

}  // namespace orvanta::test
