#include "ftp/FanOutUpload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "ftp/Digest.h"
#include "net/Socket.h"
#include "tests/ftp/ScriptedFtpServer.h"
#include "tests/ftp/TestSources.h"
#ifndef _WIN32
#include "tests/ftp/VsFtpServer.h"
#endif
#include "tests/support/PyFtpServer.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Wait.h"

namespace orvanta::ftp {
namespace {

namespace fs = std::filesystem;
using Stage = FanOutUpload::Stage;
using Quirks = orvanta::test::PyFtpQuirks;

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
    std::size_t AddServer(long readLimit = 0, Quirks quirks = {}) {
        const fs::path home = m_dir / ("home" + std::to_string(m_homes.size()));
        fs::create_directory(home);
        m_homes.push_back(home);
        m_servers.push_back(std::make_unique<orvanta::test::PyFtpServer>(
            home.string(), kUser, kPassword, 0, 0, readLimit, quirks));
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

    std::size_t AddServerHoldingTheEarlierFile(long readLimit = 0, Quirks quirks = {}) {
        const std::size_t server = AddServer(readLimit, quirks);
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

namespace orvanta::ftp {
namespace {

// vsftpd is a Linux program these tests start as a child: the checked copies run on Linux.
#ifndef _WIN32
// pyftpdlib as a server that knows none of SIZE, MDTM and REST, and as one that says it holds
// more than it does.
const Quirks kWithoutSizeMdtmRest{true, 0};
const Quirks kSizePlusSeven{false, 7};

// Copies that look before they send, resume what an earlier copy left and prove what arrived,
// against real servers (pyftpdlib records the wire, vsftpd is the second opinion) and the
// scripted server for replies real ones do not give.
class CheckedCopyTest : public TemporaryNameTest {
protected:
    static FanOutUpload::Options Checked() {
        FanOutUpload::Options options;
        options.store = FanOutUpload::Store::ViaTemporaryName;
        options.skipPresent = true;
        options.resume = true;
        options.prove = true;
        return options;
    }
    std::size_t AddVsServer() {
        const fs::path home = m_dir / ("home" + std::to_string(m_homes.size()));
        fs::create_directory(home);
        m_homes.push_back(home);
        m_servers.push_back(nullptr);  // indices stay those of the homes
        m_vs.push_back(std::make_unique<test::VsFtpServer>(home.string(), true));
        AddClient(m_vs.back()->Port());
        m_clients.back()->Username = test::VsFtpServer::User();
        return m_homes.size() - 1;
    }
    std::size_t AddScripted(test::ScriptedFtpServer::Script script) {
        m_scripted.push_back(std::make_unique<test::ScriptedFtpServer>(std::move(script)));
        m_homes.push_back({});
        m_servers.push_back(nullptr);
        AddClient(m_scripted.back()->Port());
        return m_homes.size() - 1;
    }
    std::vector<FanOutUpload::Status> CopyOnce(const FanOutUpload::Options& options = Checked()) {
        FanOutUpload upload(m_file, kName, Clients(), FanOutUpload::Login::First, options);
        upload.Wait();
        for (auto& client : m_clients) {
            client->Disconnect();
        }
        return upload.Statuses();
    }
    std::size_t Count(std::size_t server, const std::string& prefix) const {
        const auto commands = m_servers[server]->Commands();
        return static_cast<std::size_t>(
            std::count_if(commands.begin(), commands.end(),
                          [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
    }
    void SetChangedAt(const fs::path& path, std::chrono::system_clock::time_point at) {
        fs::last_write_time(path, std::chrono::file_clock::from_sys(at));
    }
    void TearDown() override {
        m_vs.clear();
        m_scripted.clear();
        FanOutUploadTest::TearDown();
    }

    std::vector<std::unique_ptr<test::VsFtpServer>> m_vs;
    std::vector<std::unique_ptr<test::ScriptedFtpServer>> m_scripted;
};

TEST_F(CheckedCopyTest, aSecondCopySendsNothingWhereTheFileIsAlreadyThere) {
    const std::size_t py = AddServer();
    const std::size_t vs = AddVsServer();
    for (const auto& status : CopyOnce()) {
        EXPECT_EQ(status.stage, Stage::Done) << status.error;
        EXPECT_FALSE(status.alreadyPresent);
        EXPECT_EQ(status.proof, "size");
    }
    const auto second = CopyOnce();
    for (std::size_t server : {py, vs}) {
        SCOPED_TRACE(server);
        EXPECT_EQ(second[server].stage, Stage::Done) << second[server].error;
        EXPECT_TRUE(second[server].alreadyPresent);
        EXPECT_EQ(second[server].sent, 0);
        EXPECT_EQ(second[server].total, static_cast<std::int64_t>(m_bytes.size()));
        EXPECT_TRUE(Stored(server) == m_bytes);
        EXPECT_FALSE(PartLeft(server));
    }
    EXPECT_EQ(Count(py, "STOR "), 1u) << "the second copy opened no data connection";
    EXPECT_EQ(Count(py, "PORT "), 1u);
    // Sent regardless when the caller does not ask.
    FanOutUpload::Options all = Checked();
    all.skipPresent = false;
    const auto third = CopyOnce(all);
    EXPECT_FALSE(third[py].alreadyPresent);
    EXPECT_EQ(Count(py, "STOR "), 2u);
}

TEST_F(CheckedCopyTest, theSizeAndTimeTheServerHoldsDecideWhetherItIsSent) {
    using std::chrono::seconds;
    const auto changed = std::chrono::floor<seconds>(std::chrono::system_clock::now()) -
                         std::chrono::hours(1) + std::chrono::milliseconds(700);
    SetChangedAt(m_file, changed);
    struct Case {
        const char* what;
        std::string held;  // empty: nothing under the name
        std::chrono::system_clock::time_point storedAt;
        bool present;
    };
    const Case cases[] = {
        {"same size, stored after the change", m_bytes, changed + seconds(30), true},
        // Servers give whole seconds: the change's second counts as not older.
        {"same size, stored in the second of the change", m_bytes,
         changed - std::chrono::milliseconds(700), true},
        {"same size, stored before the change", m_bytes, changed - seconds(2), false},
        {"another size, stored after the change", m_bytes + "x", changed + seconds(30), false},
        {"nothing there", "", changed, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t server = AddServer();
        if (!c.held.empty()) {
            std::ofstream(m_homes[server] / kName, std::ios::binary) << c.held;
            SetChangedAt(m_homes[server] / kName, c.storedAt);
        }
    }
    const auto statuses = CopyOnce();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(statuses[i].stage, Stage::Done) << statuses[i].error;
        EXPECT_EQ(statuses[i].alreadyPresent, cases[i].present);
        EXPECT_EQ(Count(i, "STOR "), cases[i].present ? 0u : 1u);
        EXPECT_TRUE(Stored(i) == m_bytes);
    }
}

TEST_F(CheckedCopyTest, anInterruptedCopyKeepsItsPartAndTheNextSendsOnlyTheRest) {
    // Slow enough that the copy is surely under way, and far from done, when it stops.
    UseSourceOf(2 * 1024 * 1024 + 555);
    const std::size_t cancelled = AddServerHoldingTheEarlierFile(200 * 1024);
    const std::size_t killed = AddServerHoldingTheEarlierFile(200 * 1024);
    {
        FanOutUpload upload(m_file, kName, Clients(), FanOutUpload::Login::First, Checked());
        // Until both servers have written a good piece of the part (what the client has sent
        // may still sit in the sockets' buffers).
        ASSERT_TRUE(orvanta::test::WaitUntil(
            [&] {
                return std::all_of(m_homes.begin(), m_homes.end(), [&](const fs::path& home) {
                    std::error_code error;
                    return fs::file_size(home / m_part, error) > 300000 && !error;
                });
            },
            std::chrono::seconds(20)));
        // One server goes away under the upload; the other is cancelled.
        m_servers[killed].reset();
        upload.Cancel("Copia annullata.");
        upload.Wait();
        const auto statuses = upload.Statuses();
        EXPECT_EQ(statuses[cancelled].error, "Copia annullata.");
        EXPECT_EQ(statuses[killed].stage, Stage::Failed);
    }
    EXPECT_EQ(StoreCommands(cancelled), (std::vector<std::string>{"STOR " + m_part}))
        << "no DELE: the part is kept";
    // The servers come back on the same folders, at full speed.
    std::vector<std::int64_t> partSizes;
    for (std::size_t server : {cancelled, killed}) {
        m_servers[server] = std::make_unique<orvanta::test::PyFtpServer>(m_homes[server].string(),
                                                                         kUser, kPassword);
        m_clients[server]->Port = m_servers[server]->Port();
        ASSERT_TRUE(PartLeft(server));
        partSizes.push_back(static_cast<std::int64_t>(fs::file_size(m_homes[server] / m_part)));
        EXPECT_GT(partSizes.back(), 0);
        EXPECT_TRUE(ReadFile(m_homes[server] / m_part) ==
                    m_bytes.substr(0, static_cast<std::size_t>(partSizes.back())));
        EXPECT_EQ(Stored(server), m_earlier);
    }
    const auto statuses = CopyOnce();
    const std::size_t servers[] = {cancelled, killed};
    for (std::size_t k = 0; k < 2; ++k) {
        const std::size_t server = servers[k];
        SCOPED_TRACE(server);
        EXPECT_EQ(statuses[server].stage, Stage::Done) << statuses[server].error;
        EXPECT_EQ(statuses[server].resumedFrom, partSizes[k]);
        EXPECT_EQ(statuses[server].sent - statuses[server].resumedFrom,
                  static_cast<std::int64_t>(m_bytes.size()) - partSizes[k]);
        EXPECT_TRUE(Stored(server) == m_bytes);
        EXPECT_FALSE(PartLeft(server));
        const auto commands = m_servers[server]->Commands();
        const auto stor = std::find(commands.begin(), commands.end(), "STOR " + m_part);
        ASSERT_NE(stor, commands.end());
        EXPECT_EQ(*(stor - 1), "REST " + std::to_string(partSizes[k]));
    }
}

TEST_F(CheckedCopyTest, anInterruptedCopyToAServerWithoutRestStartsAgainFromTheFirstByte) {
    UseSourceOf(2 * 1024 * 1024 + 555);
    const std::size_t lesser = AddServerHoldingTheEarlierFile(200 * 1024, kWithoutSizeMdtmRest);
    {
        FanOutUpload upload(m_file, kName, Clients(), FanOutUpload::Login::First, Checked());
        ASSERT_TRUE(orvanta::test::WaitUntil(
            [&] {
                std::error_code error;
                return fs::file_size(m_homes[lesser] / m_part, error) > 300000 && !error;
            },
            std::chrono::seconds(20)));
        upload.Cancel("Copia annullata.");
        upload.Wait();
        EXPECT_EQ(upload.Statuses()[lesser].error, "Copia annullata.");
    }
    std::vector<std::string> commands = m_servers[lesser]->Commands();
    // Back on the same folder at full speed, the first copy's part still there.
    m_servers[lesser] = std::make_unique<orvanta::test::PyFtpServer>(
        m_homes[lesser].string(), kUser, kPassword, 0, 0, 0, kWithoutSizeMdtmRest);
    m_clients[lesser]->Port = m_servers[lesser]->Port();
    ASSERT_TRUE(PartLeft(lesser));
    EXPECT_EQ(Stored(lesser), m_earlier);

    const auto statuses = CopyOnce();
    EXPECT_EQ(statuses[lesser].stage, Stage::Done) << statuses[lesser].error;
    EXPECT_EQ(statuses[lesser].resumedFrom, 0);
    EXPECT_EQ(statuses[lesser].sent, static_cast<std::int64_t>(m_bytes.size()));
    EXPECT_TRUE(Stored(lesser) == m_bytes);
    EXPECT_FALSE(PartLeft(lesser));
    const auto again = m_servers[lesser]->Commands();
    commands.insert(commands.end(), again.begin(), again.end());
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const std::string& c) { return c.rfind("REST", 0) == 0; }),
              0);
}

TEST_F(CheckedCopyTest, aPartIsResumedOnlyWhenItCanBeAPieceOfThisFile) {
    using std::chrono::seconds;
    const auto changed = std::chrono::system_clock::now() - std::chrono::hours(1);
    SetChangedAt(m_file, changed);
    const auto size = static_cast<std::int64_t>(m_bytes.size());
    struct Case {
        const char* what;
        std::string part;
        std::chrono::system_clock::time_point writtenAt;
        std::int64_t resumedFrom;
    };
    const Case cases[] = {
        {"a piece written after the change", m_bytes.substr(0, 100000), changed + seconds(60),
         100000},
        {"a piece written before the change", m_bytes.substr(0, 100000), changed - seconds(60), 0},
        {"longer than the file", m_bytes + "tail", changed + seconds(60), 0},
        {"the whole file", m_bytes, changed + seconds(60), size},
    };
    for (const Case& c : cases) {
        const std::size_t server = AddVsServer();
        std::ofstream(m_homes[server] / m_part, std::ios::binary) << c.part;
        SetChangedAt(m_homes[server] / m_part, c.writtenAt);
    }
    const auto statuses = CopyOnce();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(statuses[i].stage, Stage::Done) << statuses[i].error;
        EXPECT_EQ(statuses[i].resumedFrom, cases[i].resumedFrom);
        EXPECT_EQ(statuses[i].sent, size);
        EXPECT_EQ(statuses[i].proof, "size");
        EXPECT_TRUE(Stored(i) == m_bytes);
        EXPECT_FALSE(PartLeft(i));
    }
}

// The scripted server's side of one store: PORT, STOR, the data, 226; returns the data.
std::string ServeStore(test::ScriptedSession& s, const std::string& name) {
    test::Fd data = s.AcceptStore(name);
    std::string received = test::ScriptedSession::ReceiveAll(data);
    s.Reply("226 Transfer complete.");
    return received;
}

TEST_F(CheckedCopyTest, theServersAnswersAfterTheStoreDecideTheProof) {
    const std::string part = m_part;
    const std::string size = std::to_string(m_bytes.size());
    const std::string sha256 = HexDigest(DigestAlgorithm::Sha256, m_bytes);
    const std::string md5 = HexDigest(DigestAlgorithm::Md5, m_bytes);
    const std::string crc = HexDigest(DigestAlgorithm::Crc32, m_bytes);
    const auto features = [](const std::vector<std::string>& lines) {
        return [lines](test::ScriptedSession& s) {
            s.Expect("FEAT");
            s.Reply("211-Features:");
            for (const std::string& line : lines) {
                s.Reply(" " + line);
            }
            s.Reply("211 End");
        };
    };
    const auto renamed = [part](test::ScriptedSession& s) {
        s.Expect("RNFR " + part);
        s.Reply("350 Ready.");
        s.Expect(std::string("RNTO ") + kName);
        s.Reply("250 Renamed.");
    };
    const auto sizeIs = [part](const std::string& reply) {
        return [part, reply](test::ScriptedSession& s) {
            s.Expect("SIZE " + part);
            s.Reply(reply);
        };
    };
    using Step = std::function<void(test::ScriptedSession&)>;
    struct Case {
        const char* what;
        std::vector<Step> afterStore;
        std::string error;  // empty: done
        std::string proof;
    };
    const std::vector<Case> cases = {
        {"no SIZE, no FEAT: the server's 226 alone",
         {sizeIs("500 Unknown command."),
          [](test::ScriptedSession& s) {
              s.Expect("FEAT");
              s.Reply("500 Unknown command.");
          },
          renamed},
         "",
         ""},
        {"a size that differs fails and keeps the part",
         {
             sizeIs("213 12"),
         },
         "The server holds 12 bytes under \"" + part + "\" where " + size +
             " were sent; the file is not put under its name.",
         ""},
        {"HASH with the algorithm in use",
         {sizeIs("213 " + size), features({"SIZE", "HASH SHA-1;SHA-256*;MD5"}),
          [&](test::ScriptedSession& s) {
              s.Expect("HASH " + part);
              s.Reply("213 SHA-256 0-" + size + " " + sha256 + " " + part);
          },
          renamed},
         "",
         "size, SHA-256"},
        {"HASH after choosing an algorithm known here",
         {sizeIs("213 " + size), features({"HASH SHA-512*;MD5"}),
          [&](test::ScriptedSession& s) {
              s.Expect("OPTS HASH MD5");
              s.Reply("200 MD5");
              s.Expect("HASH " + part);
              s.Reply("213 MD5 0-" + size + " " + md5 + " " + part);
          },
          renamed},
         "",
         "size, MD5"},
        {"a digest that differs fails and removes the part",
         {sizeIs("213 " + size), features({"HASH SHA-256*"}),
          [&](test::ScriptedSession& s) {
              s.Expect("HASH " + part);
              s.Reply("213 SHA-256 0-" + size + " " + std::string(64, '0') + " " + part);
              s.Expect("DELE " + part);
              s.Reply("250 Deleted.");
          }},
         "The server's SHA-256 of \"" + part + "\" is " + std::string(64, '0') + ", the file's " +
             sha256 + "; the part is removed.",
         ""},
        {"XMD5",
         {sizeIs("213 " + size), features({"XCRC", "XMD5"}),
          [&](test::ScriptedSession& s) {
              s.Expect("XMD5 " + part);
              s.Reply("250 " + md5);
          },
          renamed},
         "",
         "size, MD5"},
        {"XCRC without SIZE",
         {sizeIs("502 Not implemented."), features({"XCRC"}),
          [&](test::ScriptedSession& s) {
              s.Expect("XCRC " + part);
              s.Reply("250 " + crc);
          },
          renamed},
         "",
         "CRC32"},
    };
    for (const Case& c : cases) {
        const Case* each = &c;
        AddScripted([each, part](test::ScriptedSession& s) {
            s.Login();
            // Neither the real name nor a part is known: no MDTM, no REST.
            s.Expect(std::string("SIZE ") + kName);
            s.Reply("550 No such file.");
            s.Expect("SIZE " + part);
            s.Reply("550 No such file.");
            ServeStore(s, part);
            for (const auto& step : each->afterStore) {
                step(s);
            }
            if (const std::string rest = s.ReadUntilClosed(); !rest.empty()) {
                throw std::runtime_error("sent after the last step: " + rest);
            }
        });
    }
    const auto statuses = CopyOnce();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(m_scripted[i]->Finish(), "");
        EXPECT_EQ(statuses[i].stage, cases[i].error.empty() ? Stage::Done : Stage::Failed);
        EXPECT_EQ(statuses[i].error, cases[i].error);
        EXPECT_EQ(statuses[i].proof, cases[i].proof);
    }
}

TEST_F(CheckedCopyTest, aServerThatSaysItHoldsMoreThanWasSentFailsAloneAndKeepsThePart) {
    const std::size_t py = AddServer();
    const std::size_t vs = AddVsServer();
    struct Case {
        const char* what;
        bool earlier;  // an earlier file under the real name
    };
    const Case cases[] = {{"nothing under the name", false}, {"an earlier file under it", true}};
    std::vector<std::size_t> lying;
    for (const Case& c : cases) {
        lying.push_back(c.earlier ? AddServerHoldingTheEarlierFile(0, kSizePlusSeven)
                                  : AddServer(0, kSizePlusSeven));
    }
    const auto statuses = CopyOnce();
    for (std::size_t server : {py, vs}) {
        SCOPED_TRACE(server);
        EXPECT_EQ(statuses[server].stage, Stage::Done) << statuses[server].error;
        EXPECT_EQ(statuses[server].proof, "size");
        EXPECT_TRUE(Stored(server) == m_bytes);
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        const std::size_t server = lying[i];
        EXPECT_EQ(statuses[server].stage, Stage::Failed);
        EXPECT_EQ(statuses[server].error, "The server holds " + std::to_string(m_bytes.size() + 7) +
                                              " bytes under \"" + m_part + "\" where " +
                                              std::to_string(m_bytes.size()) +
                                              " were sent; the file is not put under its name.");
        // What arrived stays under the temporary name, for the next copy; no rename, no removal.
        EXPECT_TRUE(ReadFile(m_homes[server] / m_part) == m_bytes);
        EXPECT_EQ(StoreCommands(server), std::vector<std::string>{"STOR " + m_part});
        if (cases[i].earlier) {
            EXPECT_EQ(Stored(server), m_earlier);
        } else {
            EXPECT_FALSE(fs::exists(m_homes[server] / kName));
        }
    }
}

// pyftpdlib knowing none of SIZE, MDTM and REST: nothing it holds can be told, so every copy
// sends the whole file, proven by the server's 226 alone.
TEST_F(CheckedCopyTest, aRealServerWithoutSizeMdtmOrRestIsSentTheWholeFileEachTime) {
    const std::size_t knowing = AddServer();
    const std::size_t lesser = AddServer(0, kWithoutSizeMdtmRest);
    const auto size = static_cast<std::int64_t>(m_bytes.size());
    const auto first = CopyOnce();
    const auto second = CopyOnce();
    EXPECT_TRUE(second[knowing].alreadyPresent) << "the server that can tell is passed over";
    for (const auto& statuses : {first, second}) {
        const FanOutUpload::Status& status = statuses[lesser];
        EXPECT_EQ(status.stage, Stage::Done) << status.error;
        EXPECT_FALSE(status.alreadyPresent);
        EXPECT_EQ(status.resumedFrom, 0);
        EXPECT_EQ(status.sent, size);
        EXPECT_EQ(status.proof, "");
    }
    EXPECT_TRUE(Stored(lesser) == m_bytes);
    EXPECT_FALSE(PartLeft(lesser));
    EXPECT_EQ(Count(lesser, "STOR "), 2u);
    EXPECT_EQ(Count(lesser, "REST"), 0u);

    // Asked outright to resume, it refuses, and the client sends the whole file.
    FtpClient& client = *m_clients[lesser];
    client.ConnectAndLogin();
    test::StringSource source(m_bytes);
    EXPECT_EQ(client.UploadStream(source, "resumed.bin", 1000), 0);
    EXPECT_EQ(Count(lesser, "REST"), 1u);
    EXPECT_TRUE(ReadFile(m_homes[lesser] / "resumed.bin") == m_bytes);
}

TEST_F(CheckedCopyTest, aServerWithoutSizeMdtmOrRestIsSentTheWholeFile) {
    // A part is there, but the server cannot say so (502, where pyftpdlib answers 500): it is
    // stored over from the first byte.
    const std::string part = m_part;
    std::string received;
    AddScripted([&](test::ScriptedSession& s) {
        s.Login();
        for (const std::string& name : {std::string(kName), part}) {
            s.Expect("SIZE " + name);
            s.Reply("502 Command not implemented.");
        }
        received = ServeStore(s, part);
        s.Expect("SIZE " + part);
        s.Reply("502 Command not implemented.");
        s.Expect("FEAT");
        s.Reply("211 No features.");
        s.Expect("RNFR " + part);
        s.Reply("350 Ready.");
        s.Expect(std::string("RNTO ") + kName);
        s.Reply("250 Renamed.");
        s.ReadUntilClosed();
    });
    const auto statuses = CopyOnce();
    EXPECT_EQ(m_scripted[0]->Finish(), "");
    EXPECT_EQ(statuses[0].stage, Stage::Done) << statuses[0].error;
    EXPECT_EQ(statuses[0].resumedFrom, 0);
    EXPECT_TRUE(received == m_bytes);
}

TEST_F(CheckedCopyTest, theRateLimitHoldsForAllTheUploadsTogether) {
    UseSourceOf(1024 * 1024);
    AddServer();
    AddServer();
    FanOutUpload::Options limited = Checked();
    limited.bytesPerSecond = 1024 * 1024;
    const auto began = std::chrono::steady_clock::now();
    const auto statuses = CopyOnce(limited);
    const auto took = std::chrono::steady_clock::now() - began;
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        EXPECT_EQ(statuses[i].stage, Stage::Done) << statuses[i].error;
        EXPECT_TRUE(Stored(i) == m_bytes);
    }
    // Two MiB at one MiB a second, less the allowance of a first burst.
    EXPECT_GE(took, std::chrono::milliseconds(1800));
}

#endif  // _WIN32

}  // namespace
}  // namespace orvanta::ftp
