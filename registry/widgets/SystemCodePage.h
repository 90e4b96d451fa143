#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

// The system's ANSI code page, where there is one (Windows): one file a platform
// (SystemCodePageWin32.cpp, SystemCodePagePosix.cpp), chosen by CMake.
namespace orvanta::registry::widgets::codepage {

// Whether text is in an ANSI code page other than UTF-8.
bool IsSystemAnsi();
// The bytes in the code page; nothing when they are not valid there or would not come back
// unchanged.
std::optional<QString> FromAnsi(std::string_view bytes);
// The text in the code page; nothing when a character has no byte there (no best-fit
// stand-ins: the value would change).
std::optional<std::string> ToAnsi(const QString& text);

}  // namespace orvanta::registry::widgets::codepage
