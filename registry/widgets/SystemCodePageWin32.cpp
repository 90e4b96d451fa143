// The ANSI code page of Windows (GetACP), through the system's own conversions.
#include <windows.h>

#include <limits>

#include "registry/widgets/SystemCodePage.h"

namespace orvanta::registry::widgets::codepage {

bool IsSystemAnsi() {
    return ::GetACP() != CP_UTF8;
}

std::optional<std::string> ToAnsi(const QString& text) {
    if (text.isEmpty()) {
        return std::string();
    }
    const std::wstring wide = text.toStdWString();
    if (wide.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return std::nullopt;
    }
    const int length = static_cast<int>(wide.size());
    BOOL defaulted = FALSE;
    const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length,
                                           nullptr, 0, nullptr, &defaulted);
    if (size <= 0 || defaulted) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, bytes.data(), size,
                          nullptr, &defaulted);
    if (defaulted) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<QString> FromAnsi(std::string_view bytes) {
    if (bytes.empty()) {
        return QString();
    }
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return std::nullopt;
    }
    const int length = static_cast<int>(bytes.size());
    const int size =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (size <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), length, wide.data(), size);
    QString text = QString::fromStdWString(wide);
    // Some code pages map several byte sequences to one character: such a value is shown in
    // the form that gives its own bytes back.
    const auto back = ToAnsi(text);
    if (!back || *back != bytes) {
        return std::nullopt;
    }
    return text;
}

}  // namespace orvanta::registry::widgets::codepage
