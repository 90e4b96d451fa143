#include <gtest/gtest.h>

#include "core/Failure.h"
#include "net/LineReader.h"
#include "tests/support/LoopbackPeer.h"

namespace orvanta::net {
namespace {

class LineReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_socket = ConnectTcp("127.0.0.1", m_peer.Port());
        ASSERT_TRUE(m_peer.WaitForConnections(1));
    }
    // Reads with a generous wait so a line in flight arrives.
    LineReader::Result Read(std::string& line) { return m_reader.ReadLine(m_socket, 2000, line); }

    test::LoopbackPeer m_peer;
    Socket m_socket;
    LineReader m_reader;
};

TEST_F(LineReaderTest, framingRules) {
    struct Case {
        std::string wire;
        std::string line;
    };
    const Case cases[] = {
        {"plain\r\n", "plain"},
        {"no cr\n", "no cr"},
        {"two crs\r\r\n", "two crs\r"},
        {"inner\rcr\r\n", "inner\rcr"},
        {"\r\n", ""},
        {std::string(16384, 'a') + "\n", std::string(16384, 'a')},
    };
    for (const Case& c : cases) {
        m_peer.Send(c.wire);
        std::string line;
        ASSERT_EQ(Read(line), LineReader::Result::Line) << c.line.substr(0, 20);
        EXPECT_EQ(line, c.line);
    }
}

TEST_F(LineReaderTest, secondBufferedLineIsReturnedWithoutTouchingTheSocket) {
    m_peer.Send("one\r\ntwo\r\n");
    std::string line;
    ASSERT_EQ(Read(line), LineReader::Result::Line);
    EXPECT_EQ(line, "one");
    m_peer.Close();
    ASSERT_EQ(m_reader.ReadLine(m_socket, 0, line), LineReader::Result::Line);
    EXPECT_EQ(line, "two");
}

TEST_F(LineReaderTest, overlongLineFailsAndStaysBuffered) {
    m_peer.Send(std::string(16385, 'b') + "\n");
    std::string line;
    EXPECT_THROW(
        {
            while (Read(line) != LineReader::Result::Line) {
            }
        },
        Failure);
    EXPECT_THROW(m_reader.ReadLine(m_socket, 0, line), Failure);
    EXPECT_GE(m_reader.BufferedBytes(), 16385u);
}

TEST_F(LineReaderTest, partialLineWaitsAndIsLostOnClose) {
    m_peer.Send("part");
    std::string line;
    EXPECT_EQ(m_reader.ReadLine(m_socket, 50, line), LineReader::Result::NoLine);
    EXPECT_TRUE(m_reader.HasPartialLine());
    m_peer.Close();
    EXPECT_EQ(Read(line), LineReader::Result::PeerClosed);
}

}  // namespace
}  // namespace orvanta::net
