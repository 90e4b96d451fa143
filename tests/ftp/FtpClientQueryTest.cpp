// The client's questions about files the server holds (SIZE, MDTM, FEAT, HASH, XMD5, XCRC) and
// resumed stores (REST), against the scripted server for the exact wire.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "ftp/FtpClient.h"
#include "tests/ftp/ScriptedFtpServer.h"
#include "tests/ftp/TestSources.h"

namespace orvanta::ftp {
namespace {

using test::Configure;
using test::FailureOf;
using test::Fd;
using test::ScriptedFtpServer;
using test::ScriptedSession;

// Runs the call against a server that logs the client in, expects the one command and sends
// the given reply lines; returns what the call gave (or its failure's text).
std::string AskOnce(const std::string& command, const std::vector<std::string>& reply,
                    const std::function<std::string(FtpClient&)>& call) {
    ScriptedFtpServer server([&](ScriptedSession& s) {
        s.Login();
        s.Expect(command);
        for (const std::string& line : reply) {
            s.Reply(line);
        }
        s.ReadUntilClosed();
    });
    FtpClient client;
    Configure(client, server);
    client.ConnectAndLogin();
    std::string result;
    const std::string failure = FailureOf([&] { result = call(client); });
    client.Disconnect();
    const std::string error = server.Finish();
    if (!error.empty()) {
        return "script: " + error;
    }
    return failure == "succeeded" ? result : "failed: " + failure;
}

std::string Shown(const std::optional<std::int64_t>& size) {
    return size ? std::to_string(*size) : "nothing";
}

std::string Shown(const std::optional<std::chrono::system_clock::time_point>& time) {
    if (!time) {
        return "nothing";
    }
    return std::to_string(
        std::chrono::duration_cast<std::chrono::milliseconds>(time->time_since_epoch()).count());
}

std::string Shown(const std::optional<ServerDigest>& digest) {
    return digest ? digest->algorithm + " " + digest->hex : "nothing";
}

TEST(FtpClientQueryTest, repliesGiveAnAnswerNothingOrAFailure) {
    struct Case {
        const char* what;
        std::string command;
        std::vector<std::string> reply;
        std::function<std::string(FtpClient&)> call;
        std::string expected;
    };
    const auto size = [](FtpClient& c) { return Shown(c.Size("clip one.bin")); };
    const auto time = [](FtpClient& c) { return Shown(c.ModificationTime("clip one.bin")); };
    const auto hash = [](FtpClient& c) { return Shown(c.Hash("clip one.bin")); };
    const auto xmd5 = [](FtpClient& c) { return Shown(c.Xmd5("clip one.bin")); };
    const auto xcrc = [](FtpClient& c) { return Shown(c.Xcrc("clip one.bin")); };
    const auto features = [](FtpClient& c) {
        std::string all;
        for (const std::string& f : c.Features()) {
            all += "[" + f + "]";
        }
        return all;
    };
    const auto select = [](FtpClient& c) { return c.SelectHash("MD5") ? "yes" : "no"; };
    const std::string sizeOf = "SIZE clip one.bin";
    const std::string mdtmOf = "MDTM clip one.bin";
    // 2024-02-29 23:59:58 UTC, in milliseconds since 1970.
    const std::string leapDay = "1709251198000";
    const Case cases[] = {
        {"size", sizeOf, {"213 163841"}, size, "163841"},
        {"size of a large file", sizeOf, {"213 8589934592"}, size, "8589934592"},
        {"size unknown command", sizeOf, {"500 Unknown command."}, size, "nothing"},
        {"size not implemented", sizeOf, {"502 Not implemented."}, size, "nothing"},
        {"size of a missing file", sizeOf, {"550 No such file."}, size, "nothing"},
        {"size refused otherwise",
         sizeOf,
         {"530 Not logged in."},
         size,
         "failed: Not logged in.\r\n"},
        {"size that is no number",
         sizeOf,
         {"213 lots"},
         size,
         "failed: The server's answer to SIZE makes no sense: 213 lots"},
        {"time", mdtmOf, {"213 20240229235958"}, time, leapDay},
        {"time with a fraction", mdtmOf, {"213 20240229235958.25"}, time, "1709251198250"},
        {"time not known", mdtmOf, {"502 Not implemented."}, time, "nothing"},
        {"time of a missing file", mdtmOf, {"550 No such file."}, time, "nothing"},
        {"a day that does not exist",
         mdtmOf,
         {"213 20230229120000"},
         time,
         "failed: The server's answer to MDTM makes no sense: 213 20230229120000"},
        {"local-looking time",
         mdtmOf,
         {"213 2024-02-29 23:59:58"},
         time,
         "failed: The server's answer to MDTM makes no sense: 213 2024-02-29 23:59:58"},
        {"features",
         "FEAT",
         {"211-Features:", " SIZE", " MDTM", " REST STREAM", " HASH SHA-256*;MD5", "211 End"},
         features,
         "[SIZE][MDTM][REST STREAM][HASH SHA-256*;MD5]"},
        {"no features", "FEAT", {"211 No features."}, features, ""},
        {"feat not known", "FEAT", {"500 FEAT not understood."}, features, ""},
        {"hash",
         "HASH clip one.bin",
         {"213 SHA-256 0-163840 9F86D081884C7D65 clip one.bin"},
         hash,
         "SHA-256 9f86d081884c7d65"},
        {"hash of a missing file", "HASH clip one.bin", {"550 No such file."}, hash, "nothing"},
        {"hash without a digest",
         "HASH clip one.bin",
         {"213 SHA-256 0-1"},
         hash,
         "failed: The server's answer to HASH makes no sense: 213 SHA-256 0-1"},
        {"hash busy",
         "HASH clip one.bin",
         {"450 Busy hashing another file."},
         hash,
         "failed: Busy hashing another file.\r\n"},
        {"xmd5 bare",
         "XMD5 clip one.bin",
         {"250 D41D8CD98F00B204E9800998ECF8427E"},
         xmd5,
         "MD5 d41d8cd98f00b204e9800998ecf8427e"},
        {"xmd5 with words around",
         "XMD5 clip one.bin",
         {"213 MD5 of clip one.bin: d41d8cd98f00b204e9800998ecf8427e"},
         xmd5,
         "MD5 d41d8cd98f00b204e9800998ecf8427e"},
        {"xcrc short", "XCRC clip one.bin", {"250 414FA39"}, xcrc, "CRC32 0414fa39"},
        {"xcrc not known", "XCRC clip one.bin", {"500 XCRC not understood"}, xcrc, "nothing"},
        {"hash algorithm taken", "OPTS HASH MD5", {"200 MD5"}, select, "yes"},
        {"hash algorithm refused", "OPTS HASH MD5", {"501 Unknown algorithm."}, select, "no"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(AskOnce(c.command, c.reply, c.call), c.expected);
    }
}

TEST(FtpClientQueryTest, aResumedStoreSendsRestBeforeStorAndOnlyTheRest) {
    const std::string bytes = test::Pattern(100000);
    struct Case {
        const char* what;
        std::int64_t from;
        std::string restReply;  // empty: no REST expected
        std::int64_t start;     // where sending begins
    };
    const Case cases[] = {
        {"accepted", 40000, "350 Restarting at 40000.", 40000},
        {"refused", 40000, "502 REST not implemented.", 0},
        {"refused as a bad argument", 40000, "501 Bad position.", 0},
        {"nothing to resume", 0, "", 0},
        {"past the end", 100001, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string received;
        ScriptedFtpServer server([&](ScriptedSession& s) {
            s.Login();
            const std::string port = s.Read();
            s.Reply("200 PORT command successful.");
            if (!c.restReply.empty()) {
                s.Expect("REST " + std::to_string(c.from));
                s.Reply(c.restReply);
            }
            s.Expect("STOR part.bin");
            s.Reply("150 Ok to send data.");
            Fd data = ScriptedSession::ConnectData(port);
            received = ScriptedSession::ReceiveAll(data);
            s.Reply("226 Transfer complete.");
            s.ReadUntilClosed();
        });
        FtpClient client;
        Configure(client, server);
        std::vector<std::int64_t> counts;
        std::int64_t startSeen = -1;
        client.OnWorkBegin = [&](FtpClient& sender, WorkMode, std::int64_t total) {
            startSeen = sender.UploadStart();
            counts.push_back(total);
        };
        client.OnWork = [&](FtpClient&, WorkMode, std::int64_t count) { counts.push_back(count); };
        client.ConnectAndLogin();
        test::StringSource source(bytes);
        EXPECT_EQ(client.UploadStream(source, "part.bin", c.from), c.start);
        client.Disconnect();
        EXPECT_EQ(server.Finish(), "");
        EXPECT_TRUE(received == bytes.substr(static_cast<std::size_t>(c.start)))
            << "received " << received.size() << " bytes";
        EXPECT_EQ(startSeen, c.start);
        // The counts are positions in the file: from the start to the end.
        ASSERT_GE(counts.size(), 2u);
        EXPECT_EQ(counts.front(), 100000);
        EXPECT_EQ(counts.back(), 100000);
        if (c.start > 0) {
            EXPECT_EQ(counts[1], c.start);
        }
    }
}

}  // namespace
}  // namespace orvanta::ftp
