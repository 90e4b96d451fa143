#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/Failure.h"
#include "ftp/FileSource.h"

namespace orvanta::ftp {
namespace {

namespace fs = std::filesystem;

class FileSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvanta-filesource-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = m_dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    static std::string OpenFailure(const std::string& path) {
        try {
            FileSource source(path);
        } catch (const Failure& e) {
            return e.what();
        }
        return "opened";
    }

    std::string m_dir;
};

TEST_F(FileSourceTest, openFailuresNameTheFullPathAndTheSystemText) {
    const std::string plain = Write("plain.bin", "x");
    const std::pair<std::string, std::string> cases[] = {
        {m_dir + "/missing.mp4",
         "Cannot open file \"" + m_dir + "/missing.mp4\". No such file or directory"},
        {m_dir, "Cannot open file \"" + m_dir + "\". Is a directory"},
        {"", "Cannot open file \"\". No such file or directory"},
        {plain + "/inside", "Cannot open file \"" + plain + "/inside\". Not a directory"},
        {m_dir + "/./sub/../missing %s.mp4",
         "Cannot open file \"" + m_dir + "/missing %s.mp4\". No such file or directory"},
    };
    for (const auto& [path, message] : cases) {
        EXPECT_EQ(OpenFailure(path), message) << path;
    }
}

TEST_F(FileSourceTest, relativePathIsExpandedFromTheCurrentDirectory) {
    const fs::path before = fs::current_path();
    fs::current_path(m_dir);
    Write("clip.mp4", "abc");
    std::string failure = OpenFailure("nothing/../absent.mp4");
    const bool opened = OpenFailure("clip.mp4") == "opened";
    fs::current_path(before);
    EXPECT_EQ(failure, "Cannot open file \"" + m_dir + "/absent.mp4\". No such file or directory");
    EXPECT_TRUE(opened);
}

TEST_F(FileSourceTest, readsFromTheFirstByteWhateverWasReadBefore) {
    FileSource source(Write("clip.mp4", "0123456789"));
    char buffer[16] = {};
    ASSERT_EQ(source.Read(buffer, 4), 4u);
    source.Rewind();
    EXPECT_EQ(source.Size(), 10);
    ASSERT_EQ(source.Read(buffer, sizeof buffer), 10u);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    EXPECT_EQ(source.Read(buffer, sizeof buffer), 0u);
}

TEST_F(FileSourceTest, othersMayWriteWhileItIsOpenAndItIsClosedAfterwards) {
    const std::string path = Write("clip.mp4", "abc");
    const auto openFiles = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
    };
    const auto before = openFiles();
    {
        FileSource source(path);
        std::ofstream(path, std::ios::binary | std::ios::app) << "def";
        EXPECT_EQ(source.Size(), 6);
        EXPECT_EQ(openFiles(), before + 1);
    }
    EXPECT_EQ(openFiles(), before);
}

}  // namespace
}  // namespace orvanta::ftp
