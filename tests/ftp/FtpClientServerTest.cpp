#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "ftp/FileSource.h"
#include "ftp/FtpClient.h"
#include "tests/ftp/TestSources.h"
#include "tests/ftp/VsFtpServer.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/Wait.h"

namespace orvanta::ftp {
namespace {

namespace fs = std::filesystem;
using test::FailureOf;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The same uploads against each real server the machine has.
class RealServerTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvanta-ftp-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_home = m_dir / "home";
        fs::create_directory(m_home);
        fs::permissions(m_home, fs::perms::all);
        m_client.Host = "127.0.0.1";
        if (GetParam() == "pyftpdlib") {
            m_py = std::make_unique<orvanta::test::PyFtpServer>(m_home.string(), "orvanta",
                                                                "brindlemoss");
            m_client.Port = m_py->Port();
            m_client.Username = "orvanta";
            m_client.Password = "brindlemoss";
        } else {
            m_vs = std::make_unique<test::VsFtpServer>(m_home.string());
            m_client.Port = m_vs->Port();
            m_client.Username = test::VsFtpServer::User();
        }
    }
    void TearDown() override {
        m_client.Disconnect();
        m_py.reset();
        m_vs.reset();
        fs::remove_all(m_dir);
    }

    std::string WriteSource(const std::string& name, const std::string& bytes) {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    // The stored file once the server has written all of it.
    std::string Stored(const std::string& name, std::size_t expectedSize) {
        const fs::path path = m_home / name;
        orvanta::test::WaitUntil([&] {
            std::error_code error;
            return fs::file_size(path, error) >= expectedSize && !error;
        });
        return ReadFile(path);
    }

    fs::path m_dir;
    fs::path m_home;
    std::unique_ptr<orvanta::test::PyFtpServer> m_py;
    std::unique_ptr<test::VsFtpServer> m_vs;
    FtpClient m_client;
};

TEST_P(RealServerTest, storedFilesAreByteIdentical) {
    m_client.ConnectAndLogin();
    const std::pair<std::string, std::size_t> cases[] = {
        {"empty.bin", 0},
        {"few.txt", 5},
        {"one piece.bin", 32768},
        {"several.bin", 6 * 1024 * 1024 + 123},
    };
    for (const auto& [name, size] : cases) {
        const std::string bytes = test::Pattern(size);
        FileSource source(WriteSource("source-" + name, bytes));
        m_client.UploadStream(source, name);
        EXPECT_TRUE(Stored(name, size) == bytes) << name;
    }
}

TEST_P(RealServerTest, progressOf70000BytesEndsAt70000) {
    m_client.ConnectAndLogin();
    std::vector<std::int64_t> begins, works;
    int ends = 0;
    m_client.OnWorkBegin = [&](FtpClient&, WorkMode, std::int64_t max) { begins.push_back(max); };
    m_client.OnWork = [&](FtpClient&, WorkMode, std::int64_t count) { works.push_back(count); };
    m_client.OnWorkEnd = [&](FtpClient&, WorkMode) { ++ends; };
    FileSource source(WriteSource("clip.mp4", test::Pattern(70000)));
    m_client.UploadStream(source, "clip.mp4");
    EXPECT_EQ(begins, std::vector<std::int64_t>{70000});
    // Loopback takes every piece whole.
    EXPECT_EQ(works, (std::vector<std::int64_t>{32768, 65536, 70000}));
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(Stored("clip.mp4", 70000) == test::Pattern(70000));
}

TEST_P(RealServerTest, fileThatGrowsWhileSentArrivesWithItsSizeAtTheStart) {
    m_client.ConnectAndLogin();
    const std::string path = WriteSource("growing.mp4", test::Pattern(100000));
    m_client.OnWork = [&](FtpClient&, WorkMode, std::int64_t) {
        std::ofstream(path, std::ios::binary | std::ios::app) << std::string(50000, 'g');
    };
    FileSource source(path);
    m_client.UploadStream(source, "growing.mp4");
    EXPECT_TRUE(Stored("growing.mp4", 100000) == test::Pattern(100000));
    EXPECT_GT(fs::file_size(path), 100000u);
}

TEST_P(RealServerTest, refusedStoreFailsWithTheServersTextAndTheClientGoesOn) {
    m_client.ConnectAndLogin();
    test::StringSource source("data");
    const std::string failure =
        FailureOf([&] { m_client.UploadStream(source, "no-such-folder/clip.mp4"); });
    EXPECT_NE(failure, "succeeded");
    EXPECT_EQ(failure.substr(failure.size() - 2), "\r\n") << failure;
    m_client.UploadStream(source, "clip.mp4");
    EXPECT_EQ(Stored("clip.mp4", 4), "data");
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerTest, ::testing::Values("pyftpdlib", "vsftpd"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

TEST(PyFtpLoginTest, wrongPasswordFailsWithTheServersTextAndLeavesNoConnection) {
    char pattern[] = "/tmp/orvanta-ftp-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    {
        orvanta::test::PyFtpServer server(pattern, "orvanta", "brindlemoss");
        FtpClient client;
        client.Host = "localhost";
        client.Port = server.Port();
        client.Username = "orvanta";
        client.Password = "wrong";
        EXPECT_EQ(FailureOf([&] { client.ConnectAndLogin(); }), "Authentication failed.\r\n");
        EXPECT_FALSE(client.Connected());
    }
    fs::remove_all(pattern);
}

// pyftpdlib on a full disk answers a lone 426 and nothing after it. The upload fails with that
// text instead of waiting for a closing reply for ever, and the next one goes through.
TEST(PyFtpDiskFullTest, loneAbortReplyFailsTheUploadWithItsText) {
    char pattern[] = "/tmp/orvanta-ftp-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    {
        std::unique_ptr<orvanta::test::PyFtpServer> server;
        try {
            // One page: the first bytes of a file fill it.
            server = std::make_unique<orvanta::test::PyFtpServer>(pattern, "orvanta", "brindlemoss",
                                                                  0, 4096);
        } catch (const std::runtime_error& e) {
            fs::remove_all(pattern);
            GTEST_SKIP() << "no file system of the server's own here: " << e.what();
        }
        FtpClient client;
        client.Host = "127.0.0.1";
        client.Port = server->Port();
        client.Username = "orvanta";
        client.Password = "brindlemoss";
        client.AbortedTransferReplyTimeout = std::chrono::milliseconds(500);
        client.ConnectAndLogin();
        // Small enough to be all on its way before the server meets the full disk.
        test::StringSource big(test::Pattern(20000));
        // Debian 12's pyftpdlib loses the system's text on the way ("None"); a later one may not.
        const std::string failure = FailureOf([&] { client.UploadStream(big, "clip.mp4"); });
        EXPECT_TRUE(failure == "None; transfer aborted.\r\n" ||
                    failure == "No space left on device; transfer aborted.\r\n")
            << failure;
        EXPECT_TRUE(client.Connected());
        test::StringSource empty("");
        EXPECT_EQ(FailureOf([&] { client.UploadStream(empty, "empty.mp4"); }), "succeeded");
        const std::vector<std::string> commands = server->Commands();
        ASSERT_GE(commands.size(), 3u);
        EXPECT_EQ(commands[commands.size() - 3], "NOOP");
    }
    fs::remove_all(pattern);
}

}  // namespace
}  // namespace orvanta::ftp
