#include <gtest/gtest.h>

#include <stdexcept>

#include "ftp/Reply.h"

namespace orvanta::ftp {
namespace {

// Feeds the lines one by one; running past the end means the reader wanted a line too many.
Reply ReadFrom(const std::vector<std::string>& lines, std::size_t* used = nullptr) {
    std::size_t next = 0;
    Reply reply = ReadReply([&]() -> std::string {
        if (next == lines.size()) {
            throw std::runtime_error("reply reader read past the reply");
        }
        return lines[next++];
    });
    if (used) {
        *used = next;
    }
    return reply;
}

TEST(ReplyTest, codeTextNumberAndTextLines) {
    struct Case {
        const char* what;
        std::vector<std::string> wire;
        std::string codeText;
        int code;
        std::vector<std::string> text;
    };
    const Case cases[] = {
        {"one line", {"220 Service ready"}, "220", 220, {"Service ready"}},
        {"blanks around", {"  226 Transfer complete \r"}, "226", 226, {"Transfer complete"}},
        {"empty lines before", {"", " \t", "200 ok"}, "200", 200, {"ok"}},
        {"code alone", {"530"}, "530", 530, {""}},
        {"not a number", {"abc text"}, "abc", 0, {"text"}},
        {"short garbage", {"ab"}, "ab", 0, {""}},
        {"four digits", {"1234 x"}, "1234", 1234, {" x"}},
        {"multi-line with blank lines",
         {"220-Welcome", "", "220-second", "   ", "220 last"},
         "220",
         220,
         {"Welcome", "second", "last"}},
        {"continuation without code",
         {"230-Hello", "   indented text", "230 done"},
         "230",
         230,
         {"Hello", "indented text", "done"}},
        {"other code inside keeps its text",
         {"220-a", "221 b", "220 c"},
         "220",
         220,
         {"a", "221 b", "c"}},
        {"end matched ignoring case", {"2ab-x", "2AB y"}, "2ab", 0, {"x", "y"}},
        {"short line ends it", {"211-Features", "ok"}, "211", 211, {"Features", "ok"}},
        {"hyphen alone opens", {"220-", "220 end"}, "220", 220, {"", "end"}},
        {"code with more digits does not end",
         {"220-a", "2200 b", "220 c"},
         "220",
         220,
         {"a", " b", "c"}},
    };
    for (const Case& c : cases) {
        std::size_t used = 0;
        const Reply reply = ReadFrom(c.wire, &used);
        EXPECT_EQ(used, c.wire.size()) << c.what;
        EXPECT_EQ(reply.codeText, c.codeText) << c.what;
        EXPECT_EQ(reply.code, c.code) << c.what;
        EXPECT_EQ(reply.textLines, c.text) << c.what;
    }
}

TEST(ReplyTest, readingStopsAtTheReplysLastLine) {
    std::size_t used = 0;
    const Reply reply = ReadFrom({"226-one", "226 two", "200 next reply"}, &used);
    EXPECT_EQ(used, 2u);
    EXPECT_EQ(reply.textLines, (std::vector<std::string>{"one", "two"}));
}

TEST(ReplyTest, messageIsEveryTextLineWithCrLf) {
    EXPECT_EQ(ReadFrom({"530"}).Message(), "\r\n");
    EXPECT_EQ(ReadFrom({"550 No such file."}).Message(), "No such file.\r\n");
    EXPECT_EQ(ReadFrom({"451-Local error", "451 disk full"}).Message(),
              "Local error\r\ndisk full\r\n");
}

TEST(ReplyTest, replyIsBoundedInLinesAndBytes) {
    // A multi-line reply of the given line count: "220-" lines, then the end line; with
    // blanks, every other line before the end is empty.
    const auto lines = [](std::size_t count, std::size_t width, bool blanks = false) {
        std::vector<std::string> wire;
        for (std::size_t i = 0; i + 1 < count; ++i) {
            wire.push_back(blanks && i % 2 == 1 ? std::string()
                                                : "220-" + std::string(width - 4, 'x'));
        }
        wire.push_back("220 end");
        return wire;
    };
    struct Case {
        const char* what;
        std::vector<std::string> wire;
        bool fits;
    };
    // 1 MiB in lines of 16 000 bytes: 65 lines hold 1 040 000 bytes and the end line.
    const Case cases[] = {
        {"1 000 lines", lines(kMaxReplyLines, 10), true},
        {"1 001 lines", lines(kMaxReplyLines + 1, 10), false},
        {"empty lines count too", lines(kMaxReplyLines + 1, 10, true), false},
        {"under 1 MiB", lines(66, 16000), true},
        {"over 1 MiB", lines(67, 16000), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.fits) {
            std::size_t used = 0;
            EXPECT_EQ(ReadFrom(c.wire, &used).textLines.back(), "end");
            EXPECT_EQ(used, c.wire.size());
        } else {
            EXPECT_THROW(ReadFrom(c.wire), ReplyTooLong);
        }
    }
    EXPECT_STREQ(ReplyTooLong().what(), "Max reply length exceeded.");
}

}  // namespace
}  // namespace orvanta::ftp
