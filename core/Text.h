#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvanta {

// Text is bytes in the local 8-bit encoding; "trimmed" removes bytes of code 32 or below.
inline bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string Trimmed(std::string_view text);
std::string TrimmedLeft(std::string_view text);

// ASCII-only upper-casing: only the letters a to z change.
std::string UpperAscii(std::string_view text);
bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b);

// printf-style "%s"/"%d" filling without a format-string hazard.
std::string Replace(std::string text, std::string_view what, std::string_view with);

// The text with what a terminal would act on instead of showing shown as escapes: control
// bytes (below 32, 127) as \xNN, C1 controls written in UTF-8 (U+0080 to U+009F) as \u0080, and
// bytes that are not valid UTF-8 as \xNN. A backslash is doubled, so an escape in the text
// cannot pass for one of these. Everything else stays as it is.
std::string TerminalSafe(std::string_view text);

// The bytes TerminalSafe was given, read back from what it wrote; nothing when the text holds an
// escape it never writes (a lone backslash, \x without two hexadecimal digits, \u outside
// \u0080 to \u009F).
std::optional<std::string> FromTerminalSafe(std::string_view shown);

}  // namespace orvanta
