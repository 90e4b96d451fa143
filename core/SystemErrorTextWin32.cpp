#include <windows.h>

#include "core/SystemErrorText.h"

namespace orvanta {

std::string SystemErrorText(unsigned long code) {
    char* buffer = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length > 0 && buffer ? std::string(buffer, length) : std::string();
    ::LocalFree(buffer);
    while (!text.empty() &&
           (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.')) {
        text.pop_back();
    }
    return text.empty() ? "System error " + std::to_string(code) : text;
}

}  // namespace orvanta
