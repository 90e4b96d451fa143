#include "core/Text.h"

namespace orvanta {

std::string Trimmed(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string TrimmedLeft(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && IsBlank(text[begin])) {
        ++begin;
    }
    return std::string(text.substr(begin));
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

std::string Replace(std::string text, std::string_view what, std::string_view with) {
    size_t at = text.find(what);
    if (at != std::string::npos) {
        text.replace(at, what.size(), with);
    }
    return text;
}

namespace {

// The length of the valid UTF-8 sequence at the start of text, 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned int low = 0x80;
    unsigned int high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string TerminalSafe(std::string_view text) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            shown += "\\\\";
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            shown += {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
            ++i;
        } else if (c < 0x80) {
            shown += static_cast<char>(c);
            ++i;
        } else if (const std::size_t length = Utf8SequenceLength(text.substr(i)); length == 0) {
            shown += {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
            ++i;
        } else if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            const auto code = static_cast<unsigned char>(text[i + 1]);
            shown += {'\\', 'u', '0', '0', kHex[code >> 4], kHex[code & 0xF]};
            i += 2;
        } else {
            shown.append(text.substr(i, length));
            i += length;
        }
    }
    return shown;
}

namespace {

// The value of an upper-case hexadecimal digit as TerminalSafe writes it; -1 for anything else.
int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::optional<std::string> FromTerminalSafe(std::string_view shown) {
    std::string text;
    text.reserve(shown.size());
    for (std::size_t i = 0; i < shown.size();) {
        if (shown[i] != '\\') {
            text += shown[i++];
            continue;
        }
        if (i + 1 < shown.size() && shown[i + 1] == '\\') {
            text += '\\';
            i += 2;
        } else if (i + 3 < shown.size() && shown[i + 1] == 'x' && HexDigit(shown[i + 2]) >= 0 &&
                   HexDigit(shown[i + 3]) >= 0) {
            text += static_cast<char>(HexDigit(shown[i + 2]) * 16 + HexDigit(shown[i + 3]));
            i += 4;
        } else if (i + 5 < shown.size() && shown.substr(i + 1, 3) == "u00" &&
                   (shown[i + 4] == '8' || shown[i + 4] == '9') && HexDigit(shown[i + 5]) >= 0) {
            text += '\xC2';
            text += static_cast<char>(HexDigit(shown[i + 4]) * 16 + HexDigit(shown[i + 5]));
            i += 6;
        } else {
            return std::nullopt;
        }
    }
    return text;
}

}  // namespace orvanta
