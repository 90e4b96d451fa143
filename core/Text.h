#pragma once

#include <string>
#include <string_view>

namespace orvanta {

// Text is bytes in the local 8-bit encoding; "trimmed" removes bytes of code 32 or below.
inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string Trimmed(std::string_view text);
std::string TrimmedLeft(std::string_view text);

// ASCII-only upper-casing: only the letters a to z change.
std::string UpperAscii(std::string_view text);
bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b);

// printf-style "%s"/"%d" filling without a format-string hazard.
std::string Replace(std::string text, std::string_view what, std::string_view with);

}  // namespace orvanta
