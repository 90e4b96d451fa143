#include <gtest/gtest.h>

#include <filesystem>

#include "core/ExecutableFolder.h"

namespace orvanta {
namespace {

TEST(ExecutableFolderTest, isTheFolderOfTheRunningProgramWithItsSeparator) {
    const std::string folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
#ifdef _WIN32
    // The system's own spelling of the folder (a drive letter, backslashes).
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_TRUE(std::filesystem::is_regular_file(folder + "core_tests.exe")) << folder;
    EXPECT_TRUE(std::filesystem::equivalent(folder, ORVANTA_TEST_PROGRAM_DIR)) << folder;
#else
    EXPECT_EQ(folder, std::filesystem::canonical(ORVANTA_TEST_PROGRAM_DIR).string() + "/");
#endif
}

}  // namespace
}  // namespace orvanta
