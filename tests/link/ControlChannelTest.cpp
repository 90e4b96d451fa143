#include <gtest/gtest.h>

#include <memory>

#include "core/Failure.h"
#include "link/ControlChannel.h"
#include "tests/support/FailureOf.h"
#include "tests/support/LoopbackPeer.h"
#include "tests/support/SilentPeer.h"
#include "tests/support/UnderWine.h"
#include "tests/support/Wait.h"

namespace orvanta::link {
namespace {

using State = ControlChannel::State;

using orvanta::test::FailureOf;

class ControlChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_channel.OnDisconnected = [this](ControlChannel& channel) {
            EXPECT_EQ(&channel, &m_channel);
            ++m_disconnects;
        };
    }

    void Open() {
        m_channel.Host = "127.0.0.1";
        m_channel.Port = m_peer.Port();
        m_channel.OpenChannel();
        ++m_opened;
        ASSERT_TRUE(m_peer.WaitForConnections(m_opened));
    }

    // Index of the peer's side of the latest opening.
    int Latest() const { return m_opened - 1; }

    // Polls as the link does (5 ms per call) until a line comes; raises what the channel raises.
    std::string NextLine() {
        std::string line;
        test::WaitUntil([&] {
            line = m_channel.ReceiveLine(5);
            return !line.empty();
        });
        return line;
    }

    // Polls until the channel fails and returns the failure's text.
    std::string FailureOfPolling() {
        return FailureOf([&] {
            for (int i = 0; i < 2000; ++i) {
                m_channel.ReceiveLine(5);
            }
        });
    }

    test::LoopbackPeer m_peer;
    ControlChannel m_channel;
    int m_opened = 0;
    int m_disconnects = 0;
};

TEST_F(ControlChannelTest, framingOfReceivedLines) {
    struct Case {
        std::string wire, line;
    };
    const Case cases[] = {
        {"plain\r\n", "plain"},
        {"lf only\n", "lf only"},
        {"two crs\r\r\n", "two crs\r"},
        {"in\rner\r\n", "in\rner"},
        {"\r\n\nafter empty lines\r\n", "after empty lines"},
        {std::string(16383, 'a') + "\r\n", std::string(16383, 'a')},
        {std::string(16384, 'b') + "\n", std::string(16384, 'b')},
        {"split ", "split across sends"},
    };
    Open();
    for (const Case& c : cases) {
        m_peer.Send(c.wire);
        if (c.wire == "split ") {
            EXPECT_EQ(m_channel.ReceiveLine(5), "");
            m_peer.Send("across sends\r\n");
        }
        EXPECT_EQ(NextLine(), c.line) << c.line.substr(0, 20);
    }
    EXPECT_TRUE(m_channel.IsOpen());
}

TEST_F(ControlChannelTest, linesBeforeThePeersCloseComeFirstThenTheCloseOnce) {
    Open();
    m_peer.Send("one\r\ntwo\r\npartial");
    EXPECT_EQ(NextLine(), "one");
    m_peer.Close();
    // Already buffered: returned without reading the socket, so not the close yet.
    EXPECT_EQ(m_channel.ReceiveLine(0), "two");
    EXPECT_EQ(m_disconnects, 0);
    EXPECT_EQ(FailureOfPolling(), "Connection Closed Gracefully.");
    EXPECT_EQ(m_disconnects, 1);
    EXPECT_FALSE(m_channel.IsOpen());
    EXPECT_EQ(m_channel.GetState(), State::Broken);
    EXPECT_EQ(FailureOf([&] { m_channel.SendLine("x"); }), "Connection Closed Gracefully.");
    EXPECT_EQ(m_disconnects, 1);
}

TEST_F(ControlChannelTest, overlongLineBreaksTheChannelOnce) {
    struct Case {
        std::string wire;
    };
    const Case cases[] = {
        {std::string(16384, 'a') + "\r\n"},  // 16 385 bytes before the LF with its CR
        {std::string(16385, 'b') + "\n"},
        {std::string(20000, 'c')},  // no LF at all
    };
    for (const Case& c : cases) {
        Open();
        m_peer.Send(c.wire, Latest());
        EXPECT_EQ(FailureOfPolling(), "Max line length exceeded.");
        EXPECT_EQ(m_channel.GetState(), State::Broken);
        EXPECT_TRUE(m_peer.WaitForClientClosed(Latest()));
        EXPECT_EQ(FailureOf([&] { m_channel.SendLine("x"); }), "Connection Closed Gracefully.");
    }
    EXPECT_EQ(m_disconnects, 0);
}

TEST_F(ControlChannelTest, resetByPeerIsReportedOnceAndBreaksTheChannel) {
    if (test::UnderWine()) {
        GTEST_SKIP() << "wine reports a peer's reset as a normal end (recv returns 0), so the "
                        "channel sees a graceful close; Windows reports error 10054";
    }
    Open();
    m_peer.Send("half a line");
    EXPECT_EQ(m_channel.ReceiveLine(200), "");
    m_peer.Reset();
    EXPECT_EQ(FailureOfPolling(), "Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_EQ(m_channel.GetState(), State::Broken);
    EXPECT_FALSE(m_channel.IsOpen());
    EXPECT_EQ(m_disconnects, 0);
}

TEST_F(ControlChannelTest, sendingOnAChannelThatNeverOpenedOrFailedToOpen) {
    EXPECT_EQ(FailureOf([&] { m_channel.SendLine("x"); }), "Not Connected");
    EXPECT_EQ(m_channel.GetState(), State::NeverOpened);

    int closedPort;
    {
        test::LoopbackPeer gone;
        closedPort = gone.Port();
    }
    m_channel.Host = "127.0.0.1";
    m_channel.Port = closedPort;
    bool connected = false;
    m_channel.OnConnected = [&](ControlChannel&) { connected = true; };
    EXPECT_EQ(FailureOf([&] { m_channel.OpenChannel(); }),
              "Socket Error # 10061\r\nConnection refused.");
    EXPECT_FALSE(connected);
    EXPECT_EQ(m_channel.GetState(), State::Broken);
    EXPECT_EQ(FailureOf([&] { m_channel.SendLine("x"); }), "Connection Closed Gracefully.");
    EXPECT_EQ(m_disconnects, 0);

    m_channel.CloseChannel();
    EXPECT_EQ(m_disconnects, 0);
    EXPECT_EQ(FailureOf([&] { m_channel.SendLine("x"); }), "Not Connected");
}

TEST_F(ControlChannelTest, playerThatDropsTheAttemptTimesOutAndBreaksTheChannel) {
    test::SilentPeer silent;
    m_channel.Host = "127.0.0.1";
    m_channel.Port = silent.Port();
    m_channel.ConnectTimeout = std::chrono::milliseconds(300);
    bool connected = false;
    m_channel.OnConnected = [&](ControlChannel&) { connected = true; };
    EXPECT_EQ(FailureOf([&] { m_channel.OpenChannel(); }),
              "Socket Error # 10060\r\nConnection timed out.");
    EXPECT_FALSE(connected);
    EXPECT_EQ(m_channel.GetState(), State::Broken);
    EXPECT_EQ(m_disconnects, 0);
}

TEST_F(ControlChannelTest, sendWritesEachLineWithCrLfAtOnce) {
    m_channel.OnConnected = [](ControlChannel& channel) { channel.SendLine("greeting"); };
    m_channel.Host = "LOCALHOST";  // no lookup needed
    m_channel.Port = m_peer.Port();
    m_channel.OpenChannel();
    m_channel.SendLine("@PLAY:x");
    m_channel.SendLine("");
    const std::string expected = "greeting\r\n@PLAY:x\r\n\r\n";
    ASSERT_TRUE(m_peer.WaitForBytes(expected.size()));
    EXPECT_EQ(m_peer.Received(), expected);
}

TEST_F(ControlChannelTest, aLineHoldingALineBreakOrNulIsRefusedAndNothingIsSent) {
    Open();
    for (const std::string& text : {std::string("@RENDERFILE:a\r\n@PLAY"), std::string("a\n@STOP"),
                                    std::string("a\r@STOP"), std::string("a\0@PLAY", 7)}) {
        EXPECT_EQ(FailureOf([&] { m_channel.SendLine(text); }),
                  "Line breaks and NUL characters cannot be sent in a line.");
    }
    // The channel is still good for the next line, which arrives alone.
    m_channel.SendLine("@PLAY:x");
    ASSERT_TRUE(m_peer.WaitForBytes(9));
    EXPECT_EQ(m_peer.Received(), "@PLAY:x\r\n");
}

TEST_F(ControlChannelTest, failingConnectedHandlerFailsTheOpening) {
    m_channel.OnConnected = [](ControlChannel&) { throw Failure("greeting failed"); };
    m_channel.Host = "127.0.0.1";
    m_channel.Port = m_peer.Port();
    EXPECT_EQ(FailureOf([&] { m_channel.OpenChannel(); }), "greeting failed");
    EXPECT_EQ(m_channel.GetState(), State::Broken);
    ASSERT_TRUE(m_peer.WaitForConnections(1));
    EXPECT_TRUE(m_peer.WaitForClientClosed(0));
    EXPECT_EQ(m_disconnects, 0);
}

TEST_F(ControlChannelTest, sendToAResetPeerFailsWithoutSignalAndBreaks) {
    Open();
    m_peer.Reset();
    // The first sends may still be taken before the reset is known; a later one meets it.
    std::string failure;
    test::WaitUntil([&] {
        failure = FailureOf([&] { m_channel.SendLine("@PLAY:x"); });
        return !failure.empty();
    });
    EXPECT_TRUE(failure == "Socket Error # 10054\r\nConnection reset by peer." ||
                failure == "Socket Error # 10058\r\nCannot send or receive after socket is closed.")
        << failure;
    EXPECT_EQ(m_channel.GetState(), State::Broken);
}

TEST_F(ControlChannelTest, closingAndReopening) {
    Open();
    m_peer.Send("stale partial");
    EXPECT_EQ(m_channel.ReceiveLine(200), "");
    m_channel.CloseChannel();
    EXPECT_EQ(m_disconnects, 1);
    EXPECT_EQ(m_channel.GetState(), State::NeverOpened);
    EXPECT_TRUE(m_peer.WaitForClientClosed(0));
    EXPECT_EQ(m_peer.Received(0), "");  // no farewell line
    m_channel.CloseChannel();
    EXPECT_EQ(m_disconnects, 1);

    m_channel.OpenChannel();
    ASSERT_TRUE(m_peer.WaitForConnections(2));
    m_peer.Send("fresh\r\n", 1);
    EXPECT_EQ(NextLine(), "fresh");  // the old partial line is gone
}

TEST_F(ControlChannelTest, destroyingAnOpenChannelSendsNothingAndRaisesNothing) {
    auto channel = std::make_unique<ControlChannel>();
    bool disconnected = false;
    channel->OnDisconnected = [&](ControlChannel&) { disconnected = true; };
    channel->Host = "127.0.0.1";
    channel->Port = m_peer.Port();
    channel->OpenChannel();
    ASSERT_TRUE(m_peer.WaitForConnections(1));
    channel.reset();
    EXPECT_FALSE(disconnected);
    EXPECT_TRUE(m_peer.WaitForClientClosed(0));
    EXPECT_EQ(m_peer.Received(0), "");
}

}  // namespace
}  // namespace orvanta::link
