#include <gtest/gtest.h>

#include "link/Protocol.h"

namespace orvanta::link {
namespace {

TEST(SplitCommandTest, wordIsTrimmedAndUpperCasedPayloadTrimmed) {
    struct Case {
        std::string line, word, payload;
    };
    const Case cases[] = {
        {"@reply : x", "REPLY", "x"},
        {"@CLIENTS", "", "@CLIENTS"},
        {"@ clients \t", "", "@ clients"},
        {"@Auth\xE9response:ok", "AUTH\xE9RESPONSE", "ok"},  // only a-z change
        {"@reply:", "REPLY", ""},
        {"@reply:a:b\r", "REPLY", "a:b"},
        {"@:payload", "", "payload"},
    };
    for (const Case& c : cases) {
        const CommandMessage m = SplitCommand(c.line);
        EXPECT_EQ(m.word, c.word) << c.line;
        EXPECT_EQ(m.payload, c.payload) << c.line;
    }
    EXPECT_TRUE(IsCommandMessage("@x"));
    EXPECT_FALSE(IsCommandMessage(" @x"));
    EXPECT_FALSE(IsCommandMessage(""));
}

TEST(TagValueTest, positionsFollowTheOneBasedRules) {
    struct Case {
        std::string payload, field, value;
    };
    const Case cases[] = {
        {"<ESITO> OK </ESITO>", "ESITO", "OK"},
        {"<A>1</A><B>2</B>", "B", "2"},
        {"<B>2</B><A>1</A>", "A", "1"},
        {"<A>open only", "A", ""},
        {"</A>x<A>", "A", ""},
        {"nothing", "A", ""},
        {"", "A", ""},
        {"abcdefgh</TO>", "TO", "defgh"},
        {"ab</TO>", "TO", ""},  // closing tag before position L
        {"<A></A>", "A", ""},
        {"<A>first</A><A>second</A>", "A", "first"},
        {"<A> <B>in</B> </A>", "A", "<B>in</B>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TagValue(c.payload, c.field), c.value) << c.payload;
    }
}

TEST(CommaTextTest, fieldsSplitOnCommasAndUnquotedBlanks) {
    struct Case {
        std::string text;
        std::vector<std::string> fields;
    };
    const Case cases[] = {
        {"alpha,beta", {"alpha", "beta"}},
        {"alpha,,beta", {"alpha", "", "beta"}},
        {"alpha,", {"alpha", ""}},
        {"alpha, ", {"alpha"}},
        {"", {}},
        {"   ", {}},
        {",a", {"", "a"}},
        {"red green,online", {"red", "green", "online"}},
        {"\"red green\",online", {"red green", "online"}},
        {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
        {"\"unterminated", {"unterminated"}},
        {"  a ,  b  ", {"a", "b"}},
        {std::string("a,b\0c,d", 7), {"a", "b"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CommaText(c.text), c.fields) << c.text;
    }
}

TEST(CatalogueTest, linesAreByteExact) {
    EXPECT_EQ(PlayLine(), "@PLAY:<USERID>COMANDO PLAY</USERID>");
    EXPECT_EQ(PauseLine(), "@PAUSE:<USERID>COMANDO PAUSE</USERID>");
    EXPECT_EQ(StopLine(), "@STOP:<USERID>COMANDO STOP</USERID>");
    EXPECT_EQ(FullScreenLine(), "@FULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>");
    EXPECT_EQ(NoFullScreenLine(), "@NOFULLSCREEN:<USERID>COMANDO FULLSCREEN</USERID>");
    EXPECT_EQ(RenderFileLine("clip.mp4"), "@RENDERFILE:<FILE>clip.mp4</FILE>");
    EXPECT_EQ(ClientsRequestLine(), "@CLIENTS:REQUEST");
    EXPECT_EQ(AuthRequestLine("me", "pw"), "@AUTHREQUEST:<USER>me</USER><PASS>pw</PASS>");
    EXPECT_EQ(MessageLine("hi", "bob"), "@MESSAGE:hi@bob");
    EXPECT_EQ(RecordLine("m", "f", "", "d", "t"),
              "@RECORD:<MESSAGE>m</MESSAGE><FROM>f</FROM><TO></TO><DATE>d</DATE><TIME>t</TIME>");
}

}  // namespace
}  // namespace orvanta::link
