// Players that misbehave on the control channel: what the operator sees, and that no whole
// line is lost on the way.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "net/LineReader.h"
#include "tests/faults/LinkFaults.h"
#include "tests/support/FailureOf.h"
#include "tests/support/Wait.h"

namespace orvanta::faults {
namespace {

using test::FailureOf;
using test::WaitUntil;

class LinkFaultTest : public LinkFaultFixture {};

TEST_F(LinkFaultTest, resetInTheMiddleOfALineKeepsTheWholeLinesAndIsReportedOnce) {
    auto form = MakeLink();
    Connect(*form);
    m_player.Send("first line\r\n@REPLY:<MESSAGE>ciao</MESSAGE>\r\nhalf a li");
    m_player.Reset();

    // Lines that arrived before the reset are still handled, one a tick.
    ASSERT_TRUE(WaitUntil([&] {
        Tick(*form);
        return !m_notices.errors.empty();
    }));
    EXPECT_EQ(form->memLines.Lines,
              (std::vector<std::string>{"first line", "CMD: <MESSAGE>ciao</MESSAGE>"}));
    EXPECT_EQ(m_notices.errors,
              std::vector<std::string>{"Socket Error # 10054\r\nConnection reset by peer."});
    EXPECT_FALSE(form->IdTCPClient1.IsOpen());

    // Reported once: later ticks leave the channel alone; commands say it is gone.
    Tick(*form);
    Tick(*form);
    EXPECT_EQ(m_notices.errors.size(), 1u);
    Click([&] { form->btnPlayClick(); });
    EXPECT_EQ(m_notices.errors.back(), "Connection Closed Gracefully.");
    EXPECT_EQ(form->memLines.Lines.size(), 2u);
}

TEST_F(LinkFaultTest, burstOfAHundredThousandLinesIsHandledALineATickWithABoundedBuffer) {
    constexpr int kLines = 100000;
    const auto lineText = [](int n) {
        char text[32];
        std::snprintf(text, sizeof text, "riga %06d", n);
        return std::string(text);
    };
    std::string burst;
    for (int n = 0; n < kLines; ++n) {
        burst += lineText(n) + "\r\n";
    }
    auto form = MakeLink();
    Connect(*form);
    // The player pushes the whole burst at once; its send waits while the link reads slowly.
    std::thread player([&] { m_player.Send(burst); });

    std::size_t largestBuffer = 0;
    bool moreThanOneLineInATick = false;
    const bool drained = WaitUntil(
        [&] {
            // Many ticks per check: the poll itself never waits for a line that has not begun.
            for (int i = 0; i < 1000 && form->memLines.Lines.size() < kLines; ++i) {
                const std::size_t before = form->memLines.Lines.size();
                Tick(*form);
                moreThanOneLineInATick |= form->memLines.Lines.size() > before + 1;
                largestBuffer = std::max(largestBuffer, form->IdTCPClient1.BufferedBytes());
            }
            return form->memLines.Lines.size() >= kLines;
        },
        std::chrono::seconds(60));
    player.join();

    ASSERT_TRUE(drained) << form->memLines.Lines.size() << " lines handled";
    EXPECT_TRUE(m_notices.errors.empty());
    EXPECT_FALSE(moreThanOneLineInATick);
    // Only what one receive brings in is ever held beyond the line being handled; the rest
    // waits in the system's buffers, held back by the player's own send.
    EXPECT_LE(largestBuffer, net::LineReader::kReceiveSize + lineText(0).size() + 2);
    ASSERT_EQ(form->memLines.Lines.size(), static_cast<std::size_t>(kLines));
    for (int n = 0; n < kLines; ++n) {
        ASSERT_EQ(form->memLines.Lines[n], lineText(n)) << "line " << n;
    }
    Tick(*form);
    EXPECT_EQ(form->memLines.Lines.size(), static_cast<std::size_t>(kLines));
}

TEST_F(LinkFaultTest, playerThatNeverReadsFailsACommandOnceTheBuffersStayFull) {
    auto form = MakeLink();
    form->IdTCPClient1.SendTimeout = std::chrono::milliseconds(300);
    Connect(*form);
    m_player.StopReading();

    // Commands go out as long as the system's buffers take them.
    std::size_t sentBytes = 0;
    auto failedAt = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration lastCall{};
    const std::size_t lineBytes = std::string("@PLAY:<USERID>COMANDO PLAY</USERID>\r\n").size();
    for (int i = 0; i < 2000000 && m_notices.errors.empty(); ++i) {
        const auto start = std::chrono::steady_clock::now();
        Click([&] { form->btnPlayClick(); });
        failedAt = std::chrono::steady_clock::now();
        lastCall = failedAt - start;
        sentBytes += lineBytes;
    }
    ASSERT_EQ(m_notices.errors,
              std::vector<std::string>{"Socket Error # 10060\r\nConnection timed out."});
    EXPECT_GT(sentBytes, 64u * 1024u);
    // The failing command waited as long as it was told to, not for ever.
    EXPECT_GE(lastCall, std::chrono::milliseconds(300));

    // The line may have gone out in part, so the channel is given up: nothing more is sent on
    // it and the poll stops reading it.
    EXPECT_FALSE(form->IdTCPClient1.IsOpen());
    EXPECT_EQ(FailureOf([&] { form->btnpauseClick(); }), "Connection Closed Gracefully.");
    Tick(*form);
    EXPECT_EQ(m_notices.errors.size(), 1u);
}

}  // namespace
}  // namespace orvanta::faults
