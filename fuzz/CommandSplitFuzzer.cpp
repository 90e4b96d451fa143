// The command split of a received line: a line starting with "@" gives the command word (the
// text up to the first ":", without the "@", trimmed and upper-cased a-z only) and the
// payload (the trimmed rest); without ":" the word is empty and the payload is the whole line,
// trimmed. Checked against the line itself, byte by byte.
#include <string>
#include <string_view>

#include "core/Text.h"
#include "fuzz/Check.h"
#include "link/Protocol.h"

namespace {

bool Blank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

// `inner` stands in `outer` with only blanks around it (both empty counts too).
bool TrimmedFrom(std::string_view inner, std::string_view outer, bool ignoreCase) {
    std::size_t begin = 0;
    std::size_t end = outer.size();
    while (begin < end && Blank(outer[begin])) {
        ++begin;
    }
    while (end > begin && Blank(outer[end - 1])) {
        --end;
    }
    const std::string_view kept = outer.substr(begin, end - begin);
    return ignoreCase ? orvanta::EqualsIgnoreCaseAscii(kept, inner) : kept == inner;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const bool command = orvanta::link::IsCommandMessage(line);
    FUZZ_CHECK(command == (!line.empty() && line[0] == '@'));
    if (!command) {
        return 0;
    }
    const orvanta::link::CommandMessage message = orvanta::link::SplitCommand(line);
    for (char c : message.word) {
        FUZZ_CHECK(!(c >= 'a' && c <= 'z'));
        FUZZ_CHECK(c != ':');
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        FUZZ_CHECK(message.word.empty());
        FUZZ_CHECK(TrimmedFrom(message.payload, line, false));
    } else {
        FUZZ_CHECK(TrimmedFrom(message.word, line.substr(1, colon - 1), true));
        // Only a-z are upper-cased: every other byte of the word is as it was.
        const std::string upper = orvanta::UpperAscii(message.word);
        FUZZ_CHECK(upper == message.word);
        FUZZ_CHECK(TrimmedFrom(message.payload, line.substr(colon + 1), false));
    }
    return 0;
}
