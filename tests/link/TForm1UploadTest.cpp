#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "ftp/FileSource.h"
#include "tests/link/LinkDoubles.h"
#include "tests/support/PyFtpServer.h"

namespace orvanta::link::test {
namespace {

namespace fs = std::filesystem;

class UploadTest : public LinkFixture {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/link-upload-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        fs::create_directories(m_dir / "media");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path Home(const std::string& name) {
        fs::create_directories(m_dir / name);
        return m_dir / name;
    }

    // The current row's file, by its full path as operators store it.
    std::string Write(const std::string& name, const std::string& bytes) {
        const fs::path path = m_dir / "media" / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // A link logged in to the server as the initialize command does it.
    std::unique_ptr<TForm1> LoggedInLink(const orvanta::test::PyFtpServer& server) {
        auto link = MakeLink();
        link->IdFTP.Host = server.Host();
        link->IdFTP.Port = server.Port();
        link->IdFTP.ConnectAndLogin();
        return link;
    }

    static std::size_t OpenDescriptors() {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
    }

    fs::path m_dir;
};

TEST_F(UploadTest, twoLinksAndOneCurrentRowStoreTheSameFileUnderTheSameName) {
    const fs::path homeA = Home("playerA");
    const fs::path homeB = Home("playerB");
    orvanta::test::PyFtpServer serverA(homeA, "orvanta", "brindlemoss");
    orvanta::test::PyFtpServer serverB(homeB, "orvanta", "brindlemoss");
    auto linkA = LoggedInLink(serverA);
    auto linkB = LoggedInLink(serverB);

    std::string bytes(70000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    }
    m_currentFile = Write("clip.bin", bytes);
    linkA->btnInviaFileClick();
    linkB->btnInviaFileClick();

    EXPECT_EQ(Read(homeA / "clip.bin"), bytes);
    EXPECT_EQ(Read(homeB / "clip.bin"), bytes);
    for (TForm1* link : {linkA.get(), linkB.get()}) {
        EXPECT_EQ(link->barprog.Max(), 70000);
        EXPECT_EQ(link->barprog.Position(), 70000);
    }
}

TEST_F(UploadTest, emptyPathFailsWithTheOpenFileMessageAndSendsNothing) {
    const fs::path home = Home("player");
    orvanta::test::PyFtpServer server(home, "orvanta", "brindlemoss");
    auto link = LoggedInLink(server);
    m_currentFile = "";
    const std::size_t descriptors = OpenDescriptors();
    const std::string failure = FailureOf([&] { link->btnInviaFileClick(); });
    EXPECT_EQ(failure, "Cannot open file \"\". No such file or directory");
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_TRUE(fs::is_empty(home));
    // The control connection is still good for the next upload.
    m_currentFile = Write("after.bin", "after");
    link->btnInviaFileClick();
    EXPECT_EQ(Read(home / "after.bin"), "after");
}

TEST_F(UploadTest, linkWhoseLoginFailedAnswersNotConnectedAndClosesTheFile) {
    const fs::path home = Home("player");
    orvanta::test::PyFtpServer server(home, "orvanta", "another password");
    auto link = MakeLink();
    link->IdFTP.Host = server.Host();
    link->IdFTP.Port = server.Port();
    EXPECT_NE(FailureOf([&] { link->IdFTP.ConnectAndLogin(); }), "");
    m_currentFile = Write("clip.bin", "data");
    const std::size_t descriptors = OpenDescriptors();
    EXPECT_EQ(FailureOf([&] { link->btnInviaFileClick(); }), "Not Connected");
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_TRUE(fs::is_empty(home));
}

TEST_F(UploadTest, emptyFileSetsTheBarToZeroAndIsStored) {
    const fs::path home = Home("player");
    orvanta::test::PyFtpServer server(home, "orvanta", "brindlemoss");
    auto link = LoggedInLink(server);
    m_currentFile = Write("ten.bin", "0123456789");
    link->btnInviaFileClick();
    EXPECT_EQ(link->barprog.Position(), 10);

    m_currentFile = Write("empty.bin", "");
    link->btnInviaFileClick();
    EXPECT_EQ(link->barprog.Max(), 0);
    EXPECT_EQ(link->barprog.Position(), 0);
    ASSERT_TRUE(fs::exists(home / "empty.bin"));
    EXPECT_EQ(fs::file_size(home / "empty.bin"), 0u);
}

}  // namespace
}  // namespace orvanta::link::test
