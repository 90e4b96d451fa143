#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace orvanta::test {

// Whether this Windows program runs under wine rather than on Windows: wine's ntdll exports
// wine_get_version, Windows' does not. Tests use it to mark where wine behaves differently
// from Windows, so the same test still holds on Windows itself.
inline bool UnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

}  // namespace orvanta::test
