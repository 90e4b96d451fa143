#include "registry/widgets/AddressText.h"

#include "core/Text.h"

namespace orvanta::registry::widgets {

namespace {
constexpr int kHighest = 255;
}  // namespace

std::string AddressText(const AddressParts& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            text += '.';
        }
        text += std::to_string(parts[i]);
    }
    return text;
}

int ParseAddressPart(std::string_view part) {
    const std::string trimmed = Trimmed(part);
    std::size_t at = 0;
    bool negative = false;
    if (at < trimmed.size() && (trimmed[at] == '+' || trimmed[at] == '-')) {
        negative = trimmed[at] == '-';
        ++at;
    }
    if (at == trimmed.size()) {
        return 0;
    }
    int value = 0;
    for (; at < trimmed.size(); ++at) {
        const char c = trimmed[at];
        if (c < '0' || c > '9') {
            return 0;
        }
        // Saturates instead of overflowing: every long number is above the range anyway.
        value = value > kHighest ? value : value * 10 + (c - '0');
    }
    if (negative) {
        return 0;
    }
    return value > kHighest ? kHighest : value;
}

AddressParts ParseAddressText(std::string_view text) {
    AddressParts parts{0, 0, 0, 0};
    std::size_t index = 0;
    std::size_t start = 0;
    while (index < parts.size()) {
        const std::size_t dot = text.find('.', start);
        const std::string_view part = text.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        parts[index++] = ParseAddressPart(part);
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    return parts;
}

}  // namespace orvanta::registry::widgets
