#include <gtest/gtest.h>
#ifndef _WIN32
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstring>

#include "net/Socket.h"
#include "net/SocketError.h"
#include "tests/support/LoopbackPeer.h"
#include "tests/support/SilentPeer.h"

namespace orvanta::net {
namespace {

TEST(SocketErrorTest, messageHasCodeThenCrLfThenTableText) {
    EXPECT_EQ(SocketErrorMessage(10061), "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(SocketErrorMessage(10035), "Socket Error # 10035\r\nOperation would block. ");
    EXPECT_EQ(SocketErrorMessage(11001), "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(SocketErrorMessage(12345), "Socket Error # 12345\r\n");
}

#ifndef _WIN32
// Windows Sockets report the table's numbers themselves; POSIX errors are mapped.
TEST(SocketErrorTest, platformErrorsMapOntoTheTable) {
    const std::pair<int, int> cases[] = {
        {ECONNREFUSED, 10061}, {ECONNRESET, 10054},   {ETIMEDOUT, 10060}, {EHOSTUNREACH, 10065},
        {ENETUNREACH, 10051},  {ECONNABORTED, 10053}, {EPIPE, 10058},     {EADDRINUSE, 10048},
    };
    for (auto [err, code] : cases) {
        EXPECT_EQ(SocketCodeFromErrno(err), code) << err;
    }
}
#endif

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
    // A port just closed can be taken again before the connect (by a test running beside this
    // one, or by the connect itself, whose own port may happen to be the same one): such an
    // attempt is passed over and another closed port tried.
    std::string refusal;
    for (int attempt = 0; attempt < 5 && refusal.empty(); ++attempt) {
        int port;
        {
            test::LoopbackPeer closed;
            port = closed.Port();
        }
        try {
            ConnectTcp("127.0.0.1", port);
        } catch (const SocketError& e) {
            refusal = e.what();
        }
    }
    EXPECT_EQ(refusal, "Socket Error # 10061\r\nConnection refused.");
}

// What ConnectTcp raises for the address; empty when it connects.
std::string ConnectFailure(const std::string& host, int port, std::chrono::milliseconds timeout) {
    try {
        ConnectTcp(host, port, timeout);
    } catch (const SocketError& e) {
        return e.what();
    }
    return {};
}

TEST(ConnectTcpTest, peerThatDropsTheAttemptTimesOut) {
    test::SilentPeer silent;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ConnectFailure("127.0.0.1", silent.Port(), std::chrono::milliseconds(300)),
              "Socket Error # 10060\r\nConnection timed out.");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
}

#ifndef _WIN32
// From a network namespace of its own, where not even loopback is up, nothing is reachable:
// the connect fails with the system's answer, not with the time-out it was given. (Linux
// network namespaces; a Windows build has no way to make an unreachable network of its own.)
TEST(ConnectTcpTest, unreachableNetworkFailsWithoutWaiting) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(out[0]);
        std::string result = "no namespace";
        if (::unshare(CLONE_NEWNET) == 0) {
            result = ConnectFailure("127.0.0.1", 9, std::chrono::minutes(2));
        }
        const ssize_t written = ::write(out[1], result.data(), result.size());
        ::_exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    ::close(out[1]);
    std::string result;
    char chunk[256];
    for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) > 0;) {
        result.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (result == "no namespace") {
        GTEST_SKIP() << "network namespaces cannot be made here";
    }
    EXPECT_EQ(result, "Socket Error # 10051\r\nNetwork is unreachable.");
}
#endif

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
