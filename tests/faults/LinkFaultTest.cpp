// Players that misbehave on the control channel: what the operator sees, and that no whole
// line is lost on the way.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "net/LineReader.h"
#include "tests/faults/LinkFaults.h"
#include "tests/support/FailureOf.h"
#include "tests/support/UnderWine.h"
#include "tests/support/Wait.h"

namespace orvanta::faults {
namespace {

using test::FailureOf;
using test::WaitUntil;

class LinkFaultTest : public LinkFaultFixture {};

TEST_F(LinkFaultTest, resetInTheMiddleOfALineKeepsTheWholeLinesAndIsReportedOnce) {
    if (test::UnderWine()) {
        GTEST_SKIP() << "wine reports a peer's reset as a normal end where Windows reports "
                        "error 10054";
    }
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

TEST_F(LinkFaultTest, burstOfAHundredThousandLinesIsHandledALineATickWithBoundedMemory) {
    constexpr int kLines = 100000;
    const auto lineText = [](int n) {
        char text[32];
        std::snprintf(text, sizeof text, "riga %06d", n);
        return std::string(text);
    };
    // The number of the newest line in the log; -1 before the first.
    const auto newest = [](const link::TForm1& form) {
        return form.memLines.Lines.empty() ? -1 : std::atoi(form.memLines.Lines.back().c_str() + 5);
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
    std::size_t largestLog = 0;
    bool notOneLineInATick = false;
    const bool drained = WaitUntil(
        [&] {
            // Many ticks per check: the poll itself never waits for a line that has not begun.
            for (int i = 0; i < 1000 && newest(*form) < kLines - 1; ++i) {
                const int before = newest(*form);
                Tick(*form);
                const int after = newest(*form);
                notOneLineInATick |= after != before && after != before + 1;
                largestBuffer = std::max(largestBuffer, form->IdTCPClient1.BufferedBytes());
                largestLog = std::max(largestLog, form->memLines.Lines.size());
            }
            return newest(*form) >= kLines - 1;
        },
        std::chrono::seconds(60));
    player.join();

    ASSERT_TRUE(drained) << newest(*form) << " is the newest line handled";
    EXPECT_TRUE(m_notices.errors.empty());
    EXPECT_FALSE(notOneLineInATick);
    // Only what one receive brings in is ever held beyond the line being handled; the rest
    // waits in the system's buffers, held back by the player's own send.
    EXPECT_LE(largestBuffer, net::LineReader::kReceiveSize + lineText(0).size() + 2);
    // The log keeps the newest lines only, in the order they came, none missing among them.
    EXPECT_LE(largestLog, link::kKeptRows);
    const std::size_t kept = form->memLines.Lines.size();
    ASSERT_GE(kept, link::kKeptRows / 10 * 9);
    for (std::size_t i = 0; i < kept; ++i) {
        ASSERT_EQ(form->memLines.Lines[i], lineText(kLines - static_cast<int>(kept - i)))
            << "line " << i;
    }
    Tick(*form);
    EXPECT_EQ(form->memLines.Lines.size(), kept);
}

struct RepeatedList {
    const char* name;
    const char* word;
    const char* tag;
    int columns;
    int lines;
    std::size_t fieldBytes;  // padding of fields 1 on
    link::StringGrid link::TForm1::*grid;
};

void PrintTo(const RepeatedList& list, std::ostream* out) {
    *out << list.name;
}

class RepeatedListTest : public LinkFaultFixture,
                         public ::testing::WithParamInterface<RepeatedList> {};

// A player that sends its roster or message list over and over: the never-shown grids keep
// only the newest rows, by number of rows for short ones and by their text for long ones.
TEST_P(RepeatedListTest, gridKeepsOnlyTheNewestRows) {
    const RepeatedList& c = GetParam();
    // Field 0 numbers the line; the rest pad it.
    const auto fields = [&](int n) {
        std::vector<std::string> out{std::to_string(n)};
        for (int col = 1; col < c.columns; ++col) {
            out.push_back(std::string(c.fieldBytes, static_cast<char>('a' + col)) +
                          std::to_string(col));
        }
        return out;
    };
    std::string flood;
    for (int n = 0; n < c.lines; ++n) {
        std::string list;
        for (const std::string& field : fields(n)) {
            list += (list.empty() ? "" : ",") + field;
        }
        flood += "@" + std::string(c.word) + ":<" + c.tag + ">" + list + "</" + c.tag + ">\r\n";
    }
    flood += "--fine--\r\n";  // a plain line: the log shows when everything is handled
    auto form = MakeLink();
    Connect(*form);
    std::thread player([&] { m_player.Send(flood); });
    const link::StringGrid& grid = (*form).*c.grid;
    int largestRows = 0;
    const bool drained = WaitUntil(
        [&] {
            for (int i = 0; i < 1000 && form->memLines.Lines.empty(); ++i) {
                Tick(*form);
                largestRows = std::max(largestRows, grid.RowCount());
            }
            return !form->memLines.Lines.empty();
        },
        std::chrono::seconds(60));
    player.join();
    ASSERT_TRUE(drained);
    EXPECT_TRUE(m_notices.errors.empty());

    // The header row stays; below it the newest rows in order, the last one complete.
    EXPECT_LE(largestRows, static_cast<int>(link::kKeptRows) + 1);
    const int rows = grid.RowCount() - 1;
    std::size_t bytes = 0;
    for (int row = 1; row <= rows; ++row) {
        const std::vector<std::string> expected = fields(c.lines - 1 - (rows - row));
        for (int col = 0; col < c.columns; ++col) {
            ASSERT_EQ(grid.Cell(col, row), expected[col]) << "row " << row;
            bytes += expected[col].size();
        }
    }
    if (c.fieldBytes == 0) {
        EXPECT_GE(rows, static_cast<int>(link::kKeptRows / 10 * 9));
    } else {
        EXPECT_LE(bytes, link::kKeptBytes + net::LineReader::kMaxLineLength);
        EXPECT_GE(bytes, link::kKeptBytes / 10 * 9 - net::LineReader::kMaxLineLength);
    }
}

INSTANTIATE_TEST_SUITE_P(LinkFaults, RepeatedListTest,
                         ::testing::Values(RepeatedList{"roster", "MYROSTER", "USERLIST", 12, 12000,
                                                        0, &link::TForm1::ListaUtenti},
                                           RepeatedList{"messages", "MYMESSAGES", "MESSAGES", 6,
                                                        12000, 0, &link::TForm1::listamymess},
                                           // Lines near the longest the channel takes.
                                           RepeatedList{"longRoster", "MYROSTER", "USERLIST", 12,
                                                        400, 1300, &link::TForm1::ListaUtenti}),
                         [](const ::testing::TestParamInfo<RepeatedList>& info) {
                             return info.param.name;
                         });

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
