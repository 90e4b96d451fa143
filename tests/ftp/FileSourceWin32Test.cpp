#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "core/Failure.h"
#include "ftp/FileSource.h"
#include "tests/support/SystemTexts.h"
#include "tests/support/TempFolder.h"

namespace orvanta::ftp {
namespace {

namespace fs = std::filesystem;

using test::SystemErrorText;

class FileSourceWin32Test : public ::testing::Test {
protected:
    void SetUp() override {
        // The system's spelling of the folder: drive letter and backslashes.
        m_dir = FullPath(test::MakeTempFolder("orvanta-filesource-"));
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = m_dir + "\\" + name;
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

TEST_F(FileSourceWin32Test, openFailuresNameTheFullPathAndTheSystemText) {
    const std::string notFound = SystemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(notFound.empty());
    const std::pair<std::string, std::string> cases[] = {
        {m_dir + "\\missing.mp4", "Cannot open file \"" + m_dir + "\\missing.mp4\". " + notFound},
        {m_dir + "/./sub/../missing %s.mp4",
         "Cannot open file \"" + m_dir + "\\missing %s.mp4\". " + notFound},
        {m_dir, "Cannot open file \"" + m_dir + "\". " + SystemErrorText(ERROR_ACCESS_DENIED)},
        {m_dir + "\\no-folder\\clip.mp4", "Cannot open file \"" + m_dir +
                                              "\\no-folder\\clip.mp4\". " +
                                              SystemErrorText(ERROR_PATH_NOT_FOUND)},
    };
    for (const auto& [path, message] : cases) {
        EXPECT_EQ(OpenFailure(path), message) << path;
    }
    const std::string empty = OpenFailure("");
    EXPECT_EQ(empty.rfind("Cannot open file \"\". ", 0), 0u) << empty;
    for (const auto& [path, message] : cases) {
        const std::string text = OpenFailure(path);
        EXPECT_NE(text.back(), '.') << text;
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    }
}

TEST_F(FileSourceWin32Test, relativePathIsExpandedFromTheCurrentDirectory) {
    const fs::path before = fs::current_path();
    fs::current_path(m_dir);
    Write("clip.mp4", "abc");
    const std::string failure = OpenFailure("nothing\\..\\absent.mp4");
    const bool opened = OpenFailure("clip.mp4") == "opened";
    fs::current_path(before);
    EXPECT_EQ(failure, "Cannot open file \"" + m_dir + "\\absent.mp4\". " +
                           SystemErrorText(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(opened);
}

TEST_F(FileSourceWin32Test, readsFromTheFirstByteWhateverWasReadBefore) {
    FileSource source(Write("clip.mp4", "0123456789"));
    char buffer[16] = {};
    ASSERT_EQ(source.Read(buffer, 4), 4u);
    source.Rewind();
    EXPECT_EQ(source.Size(), 10);
    ASSERT_EQ(source.Read(buffer, sizeof buffer), 10u);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    EXPECT_EQ(source.Read(buffer, sizeof buffer), 0u);
}

TEST_F(FileSourceWin32Test, othersMayReadAndWriteButNotDeleteWhileItIsOpen) {
    const std::string path = Write("clip.mp4", "abc");
    {
        FileSource source(path);
        const HANDLE writer =
            ::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(writer, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        EXPECT_TRUE(::WriteFile(writer, "def", 3, &written, nullptr));
        ::CloseHandle(writer);
        EXPECT_EQ(source.Size(), 6);
        FileSource second(path);
        EXPECT_EQ(second.Size(), 6);
        EXPECT_FALSE(::DeleteFileA(path.c_str()));
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    // Closed with the source: now nothing holds it.
    EXPECT_TRUE(::DeleteFileA(path.c_str()));
}

}  // namespace
}  // namespace orvanta::ftp
