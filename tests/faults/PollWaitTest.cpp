// The poll's wait is spent only on a line already under way, so many idle links never keep
// the event loop blocked, while a line that arrives in pieces is still taken whole in one tick.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "link/ControlChannel.h"
#include "tests/support/LoopbackPeer.h"
#include "tests/support/Wait.h"

namespace orvanta::faults {
namespace {

using Clock = std::chrono::steady_clock;
using test::WaitUntil;

class PollWaitTest : public ::testing::Test {
protected:
    PollWaitTest() {
        m_channel.Host = "127.0.0.1";
        m_channel.Port = m_player.Port();
        m_channel.OpenChannel();
        EXPECT_TRUE(m_player.WaitForConnections(1));
    }

    test::LoopbackPeer m_player;
    link::ControlChannel m_channel;
};

TEST_F(PollWaitTest, idleChannelReturnsAtOnceWhateverTheWait) {
    const auto start = Clock::now();
    EXPECT_EQ(m_channel.ReceiveLine(20000), "");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(m_channel.IsOpen());
}

TEST_F(PollWaitTest, restOfABegunLineIsWaitedForWithinTheSameCall) {
    m_player.Send("@PLAY:<USER");
    ASSERT_TRUE(WaitUntil([&] {
        EXPECT_EQ(m_channel.ReceiveLine(5), "");
        return m_channel.BufferedBytes() > 0;
    }));
    // The rest comes while the call waits: a tick that found part of a line gets all of it.
    std::thread player([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        m_player.Send("ID>x</USERID>\r\n");
    });
    EXPECT_EQ(m_channel.ReceiveLine(20000), "@PLAY:<USERID>x</USERID>");
    player.join();
    EXPECT_EQ(m_channel.BufferedBytes(), 0u);
}

TEST_F(PollWaitTest, lineAlreadyArrivedIsTakenWithoutAWait) {
    m_player.Send("pronto\r\n");
    std::string line;
    ASSERT_TRUE(WaitUntil([&] {
        line = m_channel.ReceiveLine(0);
        return !line.empty();
    }));
    EXPECT_EQ(line, "pronto");
}

}  // namespace
}  // namespace orvanta::faults
