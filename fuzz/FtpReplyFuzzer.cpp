// The FTP reply reader over lines as the server sends them. A reply is the first non-empty
// trimmed line, or, when its fourth character is "-", every line up to one shorter than four
// characters or starting with the code and a blank (any case). Its code text is at most four
// characters, its number follows from it, and the operator's message is the text lines each
// followed by CR LF. A reply that takes more than 1 000 lines or 1 MiB (empty lines counted)
// fails with "Max reply length exceeded." on the line that passes the bound, never earlier.
// The input's last byte pads every line with that many times 64 blanks, which trimming
// removes, so that the byte bound is within reach of a short input.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/Failure.h"
#include "core/Text.h"
#include "ftp/Reply.h"
#include "fuzz/Check.h"

namespace {

struct OutOfLines {};

bool EndsReply(const std::string& line, const std::string& first) {
    return line.size() < 4 ||
           orvanta::EqualsIgnoreCaseAscii(line.substr(0, 4), first.substr(0, 3) + " ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t padding = input.ConsumeIntegral<std::uint8_t>() * std::size_t{64};
    const std::string stream = input.ConsumeRemainingBytesAsString();
    std::vector<std::string> lines;
    std::string current;
    for (const char c : stream) {
        if (c == '\n') {
            lines.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    std::size_t next = 0;
    std::size_t bytesRead = 0;
    std::vector<std::string> taken;  // the non-empty lines the reader took, trimmed
    const auto nextLine = [&]() -> std::string {
        if (next == lines.size()) {
            throw OutOfLines{};
        }
        const std::string line = lines[next++] + std::string(padding, ' ');
        bytesRead += line.size();
        if (!orvanta::Trimmed(line).empty()) {
            taken.push_back(orvanta::Trimmed(line));
        }
        return line;
    };
    const auto withinBounds = [](std::size_t lineCount, std::size_t bytes) {
        return lineCount <= orvanta::ftp::kMaxReplyLines && bytes <= orvanta::ftp::kMaxReplyBytes;
    };

    orvanta::ftp::Reply reply;
    try {
        reply = orvanta::ftp::ReadReply(nextLine);
    } catch (const OutOfLines&) {
        FUZZ_CHECK(withinBounds(next, bytesRead));
        return 0;  // the server stopped half-way through a reply
    } catch (const orvanta::ftp::ReplyTooLong& e) {
        FUZZ_CHECK(std::strcmp(e.what(), "Max reply length exceeded.") == 0);
        FUZZ_CHECK(!withinBounds(next, bytesRead));
        FUZZ_CHECK(withinBounds(next - 1, bytesRead - lines[next - 1].size() - padding));
        return 0;
    }
    FUZZ_CHECK(withinBounds(next, bytesRead));

    FUZZ_CHECK(!taken.empty());
    const std::string& first = taken.front();
    const bool multiLine = first.size() > 3 && first[3] == '-';
    if (multiLine) {
        FUZZ_CHECK(taken.size() >= 2);
        for (std::size_t i = 1; i + 1 < taken.size(); ++i) {
            FUZZ_CHECK(!EndsReply(taken[i], first));
        }
        FUZZ_CHECK(EndsReply(taken.back(), first));
    } else {
        FUZZ_CHECK(taken.size() == 1);
    }
    FUZZ_CHECK(reply.textLines.size() == taken.size());
    FUZZ_CHECK(reply.textLines.front() == (first.size() > 4 ? first.substr(4) : std::string()));

    FUZZ_CHECK(reply.codeText.size() <= 4);
    bool digits = reply.codeText.size() == 3;
    for (char c : reply.codeText) {
        digits = digits && c >= '0' && c <= '9';
    }
    if (digits) {
        FUZZ_CHECK(reply.code == std::stoi(reply.codeText));
    }
    FUZZ_CHECK(reply.code > -1000 && reply.code < 10000);

    std::string message;
    for (const std::string& text : reply.textLines) {
        message += text + "\r\n";
    }
    FUZZ_CHECK(reply.Message() == message);
    // What a refused reply shows is exactly that (up to a NUL byte, where the text ends).
    FUZZ_CHECK(std::string(orvanta::ftp::ReplyError(reply).what()) ==
               message.substr(0, message.find('\0')));
    return 0;
}
