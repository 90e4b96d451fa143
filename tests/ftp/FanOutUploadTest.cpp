#include "ftp/FanOutUpload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "net/Socket.h"
#include "tests/ftp/TestSources.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Wait.h"

namespace orvanta::ftp {
namespace {

namespace fs = std::filesystem;
using Stage = FanOutUpload::Stage;

const char* const kUser = "orvanta";
const char* const kPassword = "brindlemoss";
const char* const kName = "clip one.bin";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A port on loopback where nothing listens.
int ClosedPort() {
    net::Socket probe = net::ListenTcp(0x7F000001, 0, 1);
    return probe.LocalPort();
}

// Real FTP servers on loopback, each with a home folder of its own, and the file they receive.
class FanOutUploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = orvanta::test::MakeTempFolder("orvanta-fanout-");
        // Not a multiple of the piece size, so the last piece is a short one.
        m_bytes = test::Pattern(3 * 32768 * 7 + 1234);
        m_file = (m_dir / "source.bin").string();
        std::ofstream(m_file, std::ios::binary) << m_bytes;
    }
    void TearDown() override {
        m_clients.clear();
        m_servers.clear();
        fs::remove_all(m_dir);
    }

    // A server and a fresh client pointed at it; returns its index. A read limit makes the
    // server read uploads at about that many bytes a second.
    std::size_t AddServer(long readLimit = 0) {
        const fs::path home = m_dir / ("home" + std::to_string(m_homes.size()));
        fs::create_directory(home);
        m_homes.push_back(home);
        m_servers.push_back(std::make_unique<orvanta::test::PyFtpServer>(
            home.string(), kUser, kPassword, 0, 0, readLimit));
        AddClient(m_servers.back()->Port());
        return m_homes.size() - 1;
    }
    // A client pointed at a port where nothing listens.
    std::size_t AddUnreachable() {
        m_homes.push_back({});
        AddClient(ClosedPort());
        return m_homes.size() - 1;
    }
    void AddClient(int port) {
        auto client = std::make_unique<FtpClient>();
        client->Host = "127.0.0.1";
        client->Port = port;
        client->Username = kUser;
        client->Password = kPassword;
        m_clients.push_back(std::move(client));
    }
    std::vector<FtpClient*> Clients() const {
        std::vector<FtpClient*> clients;
        for (const auto& client : m_clients) {
            clients.push_back(client.get());
        }
        return clients;
    }
    // A source of the given size in place of the default one.
    void UseSourceOf(std::size_t bytes) {
        m_bytes = test::Pattern(bytes);
        std::ofstream(m_file, std::ios::binary | std::ios::trunc) << m_bytes;
    }
    std::string Stored(std::size_t server) const { return ReadFile(m_homes[server] / kName); }

    fs::path m_dir;
    std::string m_bytes;
    std::string m_file;
    std::vector<fs::path> m_homes;
    std::vector<std::unique_ptr<orvanta::test::PyFtpServer>> m_servers;
    std::vector<std::unique_ptr<FtpClient>> m_clients;
};

TEST_F(FanOutUploadTest, everyServerStoresTheWholeFileWithItsOwnProgress) {
    for (int i = 0; i < 4; ++i) {
        AddServer();
    }
    const auto size = static_cast<std::int64_t>(m_bytes.size());
    FanOutUpload upload(m_file, kName, Clients(), FanOutUpload::Login::First);
    // Progress seen while it runs never goes past the file's size.
    bool withinSize = true;
    while (!upload.WaitForChange(std::chrono::milliseconds(20))) {
        for (const auto& status : upload.Statuses()) {
            withinSize = withinSize && status.sent <= size && status.total <= size;
        }
    }
    EXPECT_TRUE(withinSize);

    const auto statuses = upload.Statuses();
    ASSERT_EQ(statuses.size(), 4u);
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(statuses[i].stage, Stage::Done);
        EXPECT_EQ(statuses[i].error, "");
        EXPECT_EQ(statuses[i].total, size);
        EXPECT_EQ(statuses[i].sent, size);
        EXPECT_LE(statuses[i].sendingSince, statuses[i].endedAt);
        EXPECT_TRUE(Stored(i) == m_bytes) << "stored " << Stored(i).size() << " bytes";
        // Each server saw one login and one store, in the single upload's order.
        auto commands = m_servers[i]->Commands();
        ASSERT_GE(commands.size(), 6u);
        EXPECT_EQ(commands[0], "USER orvanta");
        EXPECT_EQ(commands[2], "TYPE I");
        EXPECT_EQ(commands[4].rfind("PORT 127,0,0,1,", 0), 0u) << commands[4];
        EXPECT_EQ(commands[5], std::string("STOR ") + kName);
    }
}

TEST_F(FanOutUploadTest, aRefusedStoreAndAnUnreachableServerFailAloneWhileTheOthersComplete) {
    const std::size_t first = AddServer();
    const std::size_t refusing = AddServer();
    const std::size_t unreachable = AddUnreachable();
    const std::size_t last = AddServer();
    // A folder where the file would go: the server refuses the store.
    fs::create_directory(m_homes[refusing] / kName);

    FanOutUpload upload(m_file, kName, Clients(), FanOutUpload::Login::First);
    upload.Wait();
    const auto statuses = upload.Statuses();

    for (std::size_t done : {first, last}) {
        EXPECT_EQ(statuses[done].stage, Stage::Done);
        EXPECT_TRUE(Stored(done) == m_bytes);
    }
    EXPECT_EQ(statuses[refusing].stage, Stage::Failed);
    // The server's reply text, as the client raises it.
    EXPECT_EQ(statuses[refusing].error, "Is a directory.\r\n");
    EXPECT_EQ(statuses[refusing].total, -1) << "nothing was sent";
    EXPECT_EQ(statuses[unreachable].stage, Stage::Failed);
    EXPECT_EQ(statuses[unreachable].error, "Socket Error # 10061\r\nConnection refused.");
}

TEST_F(FanOutUploadTest, uploadsKeepInStepWithTheSlowestOneStillMoving) {
    // Without the pace, the fast servers would hold the whole file while the slow one had a
    // fraction of it.
    UseSourceOf(6 * 1024 * 1024 + 321);
    const std::size_t slow = AddServer(2 * 1024 * 1024);
    AddServer();
    AddServer();
    // A generous stall window, so a busy machine never lets the fast ones off the pace.
    FanOutUpload upload(m_file, kName, Clients(), FanOutUpload::Login::First,
                        FanOutUpload::Store::UnderItsName, std::chrono::seconds(60));
    std::int64_t furthestAhead = 0;
    bool slowSeenSending = false;
    while (!upload.WaitForChange(std::chrono::milliseconds(5))) {
        const auto statuses = upload.Statuses();
        if (statuses[slow].stage == Stage::Done || statuses[slow].stage == Stage::Failed) {
            continue;
        }
        slowSeenSending = slowSeenSending || statuses[slow].stage == Stage::Sending;
        for (const auto& status : statuses) {
            furthestAhead = std::max(furthestAhead, status.sent - statuses[slow].sent);
        }
    }
    EXPECT_TRUE(slowSeenSending);
    // One piece may go out past the pace before its sender waits.
    EXPECT_LE(furthestAhead, FanOutUpload::kInStep + 32768);
    const auto statuses = upload.Statuses();
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(statuses[i].stage, Stage::Done);
        EXPECT_TRUE(Stored(i) == m_bytes) << "stored " << Stored(i).size() << " bytes";
    }
}

TEST_F(FanOutUploadTest, aServerThatStopsReadingNoLongerHoldsTheOthersBack) {
    // More than the sockets' buffers hold, so the stopped server's upload really stalls.
    UseSourceOf(16 * 1024 * 1024);
    // A thousand bytes a second: after its first chunk the server reads nothing for a minute.
    const std::size_t stopped = AddServer(1000);
    const std::size_t first = AddServer();
    const std::size_t second = AddServer();
    m_clients[stopped]->DataSendStallTimeout = std::chrono::seconds(5);
    FanOutUpload upload(m_file, kName, Clients(), FanOutUpload::Login::First,
                        FanOutUpload::Store::UnderItsName, std::chrono::milliseconds(300));
    upload.Wait();
    const auto statuses = upload.Statuses();
    for (std::size_t done : {first, second}) {
        SCOPED_TRACE(done);
        EXPECT_EQ(statuses[done].stage, Stage::Done);
        EXPECT_TRUE(Stored(done) == m_bytes);
        // They ended while the stopped one was still waiting for its send to be taken.
        EXPECT_LT(statuses[done].endedAt, statuses[stopped].endedAt);
    }
    EXPECT_EQ(statuses[stopped].stage, Stage::Failed);
    EXPECT_EQ(statuses[stopped].error, "Socket Error # 10060\r\nConnection timed out.");
}

TEST_F(FanOutUploadTest, aFileThatCannotBeOpenedFailsEveryUploadWithItsText) {
    AddServer();
    AddServer();
    FanOutUpload upload((m_dir / "missing.bin").string(), kName, Clients(),
                        FanOutUpload::Login::First);
    upload.Wait();
    for (const auto& status : upload.Statuses()) {
        EXPECT_EQ(status.stage, Stage::Failed);
        EXPECT_EQ(status.error.rfind(
                      "Cannot open file \"" + (m_dir / "missing.bin").string() + "\". ", 0),
                  0u)
            << status.error;
    }
}

TEST_F(FanOutUploadTest, loggedInClientsUploadOverTheirConnectionAndGetTheirCallbacksBack) {
    AddServer();
    AddServer();
    std::int64_t ownProgress = 0;
    m_clients[0]->OnWork = [&](FtpClient&, WorkMode, std::int64_t count) { ownProgress = count; };
    m_clients[0]->ConnectAndLogin();
    // The second client never logged in: it fails as a single upload would.
    FanOutUpload upload(m_file, kName, Clients(), FanOutUpload::Login::Already);
    upload.Wait();
    const auto statuses = upload.Statuses();
    EXPECT_EQ(statuses[0].stage, Stage::Done);
    EXPECT_EQ(statuses[0].sent, static_cast<std::int64_t>(m_bytes.size()));
    EXPECT_TRUE(Stored(0) == m_bytes);
    EXPECT_EQ(statuses[1].stage, Stage::Failed);
    EXPECT_EQ(statuses[1].error, "Not Connected");
    EXPECT_EQ(ownProgress, 0) << "the engine reports progress through its own statuses";
    const auto commands = m_servers[0]->Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "USER orvanta"), 1) << "no second login";

    // The same connection takes a further upload, reported to the client's own callback.
    test::StringSource more("more");
    m_clients[0]->UploadStream(more, "more.bin");
    EXPECT_EQ(ownProgress, 4);
}

// Stored via a temporary name, the real name holds either the earlier complete file or the new
// complete one, never a part: after a complete upload, a cancel, and a refused rename.
class TemporaryNameTest : public FanOutUploadTest {
protected:
    const std::string m_earlier = "the earlier complete file";
    const std::string m_part = FanOutUpload::TemporaryName(kName);

    std::size_t AddServerHoldingTheEarlierFile(long readLimit = 0) {
        const std::size_t server = AddServer(readLimit);
        std::ofstream(m_homes[server] / kName, std::ios::binary) << m_earlier;
        return server;
    }
    bool PartLeft(std::size_t server) const { return fs::exists(m_homes[server] / m_part); }
    std::vector<std::string> StoreCommands(std::size_t server) const {
        std::vector<std::string> seen;
        for (const std::string& command : m_servers[server]->Commands()) {
            if (command.rfind("STOR ", 0) == 0 || command.rfind("RN", 0) == 0 ||
                command.rfind("DELE ", 0) == 0) {
                seen.push_back(command);
            }
        }
        return seen;
    }
};

TEST_F(TemporaryNameTest, theRealNameIsReplacedOnlyByTheRenameOfTheCompleteFile) {
    AddServerHoldingTheEarlierFile();
    AddServerHoldingTheEarlierFile();
    FanOutUpload upload(m_file, kName, Clients(), FanOutUpload::Login::First,
                        FanOutUpload::Store::ViaTemporaryName);
    upload.Wait();
    const auto statuses = upload.Statuses();
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(statuses[i].stage, Stage::Done) << statuses[i].error;
        EXPECT_TRUE(Stored(i) == m_bytes);
        EXPECT_FALSE(PartLeft(i));
        EXPECT_EQ(StoreCommands(i), (std::vector<std::string>{"STOR " + m_part, "RNFR " + m_part,
                                                              std::string("RNTO ") + kName}));
    }
}

TEST_F(TemporaryNameTest, aCancelledCopyLeavesTheEarlierFileAndRemovesItsPart) {
    // Slow enough that the copy is surely under way, and far from done, when it is cancelled.
    UseSourceOf(8 * 1024 * 1024);
    AddServerHoldingTheEarlierFile(200 * 1024);
    AddServerHoldingTheEarlierFile(200 * 1024);
    FanOutUpload upload(m_file, kName, Clients(), FanOutUpload::Login::First,
                        FanOutUpload::Store::ViaTemporaryName);
    ASSERT_TRUE(orvanta::test::WaitUntil(
        [&] {
            const auto statuses = upload.Statuses();
            return std::all_of(statuses.begin(), statuses.end(),
                               [](const auto& status) { return status.sent > 0; });
        },
        std::chrono::seconds(10)));
    upload.Cancel("Copia annullata.");
    upload.Wait();
    const auto statuses = upload.Statuses();
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(statuses[i].stage, Stage::Failed);
        EXPECT_EQ(statuses[i].error, "Copia annullata.");
        EXPECT_LT(statuses[i].sent, statuses[i].total);
        EXPECT_EQ(Stored(i), m_earlier);
        EXPECT_FALSE(PartLeft(i));
        EXPECT_EQ(StoreCommands(i), (std::vector<std::string>{"STOR " + m_part, "DELE " + m_part}));
    }
}

TEST_F(TemporaryNameTest, aRefusedRenameFailsWithTheServersTextAndRemovesThePart) {
    const std::size_t refusing = AddServer();
    const std::size_t good = AddServerHoldingTheEarlierFile();
    // A folder under the real name: the server cannot rename the file onto it.
    fs::create_directory(m_homes[refusing] / kName);
    FanOutUpload upload(m_file, kName, Clients(), FanOutUpload::Login::First,
                        FanOutUpload::Store::ViaTemporaryName);
    upload.Wait();
    const auto statuses = upload.Statuses();
    EXPECT_EQ(statuses[good].stage, Stage::Done);
    EXPECT_TRUE(Stored(good) == m_bytes);
    EXPECT_EQ(statuses[refusing].stage, Stage::Failed);
    EXPECT_EQ(statuses[refusing].error, "Is a directory.\r\n");
    EXPECT_TRUE(fs::is_directory(m_homes[refusing] / kName));
    EXPECT_FALSE(PartLeft(refusing));
    EXPECT_EQ(StoreCommands(refusing).back(), "DELE " + m_part);
}

}  // namespace
}  // namespace orvanta::ftp
