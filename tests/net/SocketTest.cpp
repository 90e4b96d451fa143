#include <gtest/gtest.h>

#include "net/Socket.h"
#include "net/SocketError.h"
#include "tests/support/LoopbackPeer.h"

namespace orvanta::net {
namespace {

TEST(SocketErrorTest, messageHasCodeThenCrLfThenTableText) {
    EXPECT_EQ(SocketErrorMessage(10061), "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(SocketErrorMessage(10035), "Socket Error # 10035\r\nOperation would block. ");
    EXPECT_EQ(SocketErrorMessage(11001), "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(SocketErrorMessage(12345), "Socket Error # 12345\r\n");
}

TEST(SocketErrorTest, platformErrorsMapOntoTheTable) {
    const std::pair<int, int> cases[] = {
        {ECONNREFUSED, 10061}, {ECONNRESET, 10054}, {ETIMEDOUT, 10060}, {EHOSTUNREACH, 10065},
        {ENETUNREACH, 10051},  {ECONNABORTED, 10053}, {EPIPE, 10058},   {EADDRINUSE, 10048},
    };
    for (auto [err, code] : cases) {
        EXPECT_EQ(SocketCodeFromErrno(err), code) << err;
    }
}

TEST(ResolveHostTest, localhostInAnyCaseAndDottedAddressesNeedNoLookup) {
    EXPECT_EQ(ResolveHost("LOCALHOST"), 0x7F000001u);
    EXPECT_EQ(ResolveHost("localHost"), 0x7F000001u);
    EXPECT_EQ(ResolveHost("127.0.0.2"), 0x7F000002u);
    EXPECT_EQ(FormatIpv4(0xC0A80114u), "192.168.1.20");
}

TEST(ResolveHostTest, unknownNameIsHostNotFound) {
    try {
        ResolveHost("no-such-host.invalid");
        FAIL() << "lookup succeeded";
    } catch (const SocketError& e) {
        EXPECT_EQ(e.Code(), 11001);
        EXPECT_STREQ(e.what(), "Socket Error # 11001\r\nHost not found.");
    }
}

TEST(ConnectTcpTest, refusedConnectionGivesTableText) {
    int port;
    {
        test::LoopbackPeer closed;
        port = closed.Port();
    }
    try {
        ConnectTcp("127.0.0.1", port);
        FAIL() << "connected to a closed port";
    } catch (const SocketError& e) {
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }
}

TEST(ConnectTcpTest, sendToResetPeerFailsWithoutSignal) {
    test::LoopbackPeer peer;
    Socket socket = ConnectTcp("localhost", peer.Port());
    ASSERT_TRUE(peer.WaitForConnections(1));
    peer.Reset();
    // The first send may still be taken; a later one meets the reset, and no SIGPIPE ends us.
    EXPECT_THROW(
        {
            for (int i = 0; i < 100; ++i) {
                socket.SendAll("x\r\n", 3);
                socket.WaitReadable(5);
            }
        },
        SocketError);
}

}  // namespace
}  // namespace orvanta::net
