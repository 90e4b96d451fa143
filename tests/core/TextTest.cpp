#include <gtest/gtest.h>

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

}  // namespace
}  // namespace orvanta
