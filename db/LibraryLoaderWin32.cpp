#include <windows.h>

#include "db/LibraryLoader.h"

namespace orvanta::db {

namespace {

// FormatMessage's text already ends with CR LF.
std::string LastError() {
    const DWORD code = GetLastError();
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&buffer),
        0, nullptr);
    std::string text = length && buffer ? std::string(buffer, length)
                                        : "System error " + std::to_string(code) + "\r\n";
    LocalFree(buffer);
    return text;
}

}  // namespace

void* LoadLibraryByName(const std::string& name, std::string& error) {
    HMODULE library = LoadLibraryA(name.c_str());
    if (!library) {
        error = LastError();
    }
    return reinterpret_cast<void*>(library);
}

LibraryFunction LibraryEntryPoint(void* library, const char* name, std::string& error) {
    FARPROC symbol = GetProcAddress(reinterpret_cast<HMODULE>(library), name);
    if (!symbol) {
        error = LastError();
        return nullptr;
    }
    return reinterpret_cast<LibraryFunction>(symbol);
}

const char* DriverManagerLibraryName() {
    return "odbc32.dll";
}

void* DesktopWindowHandle() {
    return reinterpret_cast<void*>(GetDesktopWindow());
}

}  // namespace orvanta::db
