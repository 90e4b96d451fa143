// Comma text: whatever fields a text yields, writing them back quoted (each double quote
// doubled, fields joined by commas) and reading that again gives the same fields. Unquoted
// fields never hold a comma or a byte of code 32 or below, and a NUL byte ends the text.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/Check.h"
#include "link/Protocol.h"

namespace {

std::string Written(const std::vector<std::string>& fields) {
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            text += ',';
        }
        text += '"';
        for (char c : fields[i]) {
            text += c;
            if (c == '"') {
                text += '"';
            }
        }
        text += '"';
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> fields = orvanta::link::CommaText(text);

    const std::string_view beforeNul = text.substr(0, text.find('\0'));
    FUZZ_CHECK(orvanta::link::CommaText(beforeNul) == fields);
    // Every field but a trailing empty one takes at least one byte of the text.
    FUZZ_CHECK(fields.size() <= beforeNul.size() + 1);
    if (beforeNul.find('"') == std::string_view::npos) {
        for (const std::string& field : fields) {
            for (char c : field) {
                FUZZ_CHECK(c != ',' && static_cast<unsigned char>(c) > 32);
            }
        }
    }
    FUZZ_CHECK(orvanta::link::CommaText(Written(fields)) == fields);
    return 0;
}
