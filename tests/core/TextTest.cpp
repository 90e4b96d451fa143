#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Text.h"

namespace orvanta {
namespace {

TEST(TextTest, trimRemovesControlBytesAndBlanksButNotHighBytes) {
    EXPECT_EQ(Trimmed(" \t\r\x01x y\r\n"), "x y");
    EXPECT_EQ(Trimmed("\xA0x\xA0"), "\xA0x\xA0");
    EXPECT_EQ(Trimmed("   "), "");
    EXPECT_EQ(TrimmedLeft("  a "), "a ");
}

TEST(TextTest, upperCasingTouchesOnlyAsciiLetters) {
    EXPECT_EQ(UpperAscii("reply \xE8z"), "REPLY \xE8Z");
    EXPECT_TRUE(EqualsIgnoreCaseAscii("220 ", "220 "));
    EXPECT_FALSE(EqualsIgnoreCaseAscii("ab", "abc"));
}

TEST(TextTest, terminalSafeShowsWhatATerminalWouldActOnAsEscapes) {
    struct Case {
        std::string text;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"clip one.mp4", "clip one.mp4"},
        {"caff\xC3\xA8 \xE2\x82\xAC \xF0\x9F\x8E\xAC",
         "caff\xC3\xA8 \xE2\x82\xAC \xF0\x9F\x8E\xAC"},
        // A reply that would move the cursor up and rewrite a line of the table.
        {"550 \x1B[1A\x1B[2Kdone", "550 \\x1B[1A\\x1B[2Kdone"},
        {std::string("a\0b\r\n\t\x7F", 7), "a\\x00b\\x0D\\x0A\\x09\\x7F"},
        // The 8-bit control sequence introducer, written in UTF-8 and as a bare byte.
        {"\xC2\x9B"
         "2J",
         "\\u009B2J"},
        {"\x9B"
         "2J \xE8",
         "\\x9B2J \\xE8"},
        // Overlong and truncated sequences are no characters.
        {"\xC0\x9B \xE2\x82", "\\xC0\\x9B \\xE2\\x82"},
        {"C:\\x1B", "C:\\\\x1B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(TerminalSafe(c.text), c.shown);
        // What is stored escaped reads back as the very bytes.
        EXPECT_EQ(FromTerminalSafe(c.shown), c.text);
    }
}

TEST(TextTest, readingBackRefusesEscapesTerminalSafeNeverWrites) {
    for (const std::string shown :
         {"end\\\\\\", "\\x4", "\\x4g", "\\xab", "\\q", "\\u00A0", "\\u007F", "\\u009", "\\"}) {
        EXPECT_EQ(FromTerminalSafe(shown), std::nullopt) << shown;
    }
    // A whole byte range survives the trip, one byte at a time and all together.
    std::string every;
    for (int byte = 0; byte < 256; ++byte) {
        every += static_cast<char>(byte);
        const std::string one(1, static_cast<char>(byte));
        EXPECT_EQ(FromTerminalSafe(TerminalSafe(one)), one) << byte;
    }
    EXPECT_EQ(FromTerminalSafe(TerminalSafe(every)), every);
}

}  // namespace
}  // namespace orvanta
