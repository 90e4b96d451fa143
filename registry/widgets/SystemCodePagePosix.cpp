// Linux has no ANSI code page: text is UTF-8, or Windows-1252 where it is not valid UTF-8.
#include "registry/widgets/SystemCodePage.h"

namespace orvanta::registry::widgets::codepage {

bool IsSystemAnsi() {
    return false;
}

std::optional<QString> FromAnsi(std::string_view) {
    return std::nullopt;
}

std::optional<std::string> ToAnsi(const QString&) {
    return std::nullopt;
}

}  // namespace orvanta::registry::widgets::codepage
