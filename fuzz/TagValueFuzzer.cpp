// The tag value of a field in a payload, against the 1-based position rules: o and c are the
// first positions of "<field>" and "</field>" (0 when absent), L the opening tag's length; the
// value is the substring from o + L of c - o - L characters (a start below 1 counts as 1, a
// start past the end or a count of 0 or less gives nothing, a count past the end stops there),
// trimmed.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "core/Text.h"
#include "fuzz/Check.h"
#include "link/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string field = input.ConsumeRandomLengthString(24);
    const std::string payload = input.ConsumeRemainingBytesAsString();
    const std::string value = orvanta::link::TagValue(payload, field);

    const std::string open = "<" + field + ">";
    const std::string close = "</" + field + ">";
    const std::size_t openAt = payload.find(open);
    const std::size_t closeAt = payload.find(close);
    const long long o = openAt == std::string::npos ? 0 : static_cast<long long>(openAt) + 1;
    const long long c = closeAt == std::string::npos ? 0 : static_cast<long long>(closeAt) + 1;
    const long long length = static_cast<long long>(open.size());
    const long long start = std::max(1LL, o + length);
    const long long count = c - o - length;
    const long long total = static_cast<long long>(payload.size());

    std::string expected;
    if (start <= total && count > 0) {
        expected = orvanta::Trimmed(
            payload.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
    }
    FUZZ_CHECK(value == expected);

    // What the rules mean in words: both tags in order give the text between them.
    if (openAt != std::string::npos && closeAt != std::string::npos &&
        closeAt >= openAt + open.size()) {
        FUZZ_CHECK(value == orvanta::Trimmed(payload.substr(openAt + open.size(),
                                                            closeAt - openAt - open.size())));
    }
    // A missing closing tag gives nothing, whatever else the payload holds.
    if (closeAt == std::string::npos) {
        FUZZ_CHECK(value.empty());
    }
    FUZZ_CHECK(value.empty() || payload.find(value) != std::string::npos);
    return 0;
}
