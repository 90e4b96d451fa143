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

}  // namespace orvanta
