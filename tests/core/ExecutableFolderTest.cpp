#include <gtest/gtest.h>

#include <filesystem>

#include "core/ExecutableFolder.h"
#include "tests/support/UnderWine.h"

namespace orvanta {
namespace {

TEST(ExecutableFolderTest, isTheFolderOfTheRunningProgramWithItsSeparator) {
    const std::string folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
#ifdef _WIN32
    // The system's own spelling of the folder (a drive letter, backslashes).
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_TRUE(std::filesystem::is_regular_file(folder + "core_tests.exe")) << folder;
    std::string built = ORVANTA_TEST_PROGRAM_DIR;
    // A cross build names the build folder as Linux does; wine shows Linux's root as Z:.
    if (test::UnderWine() && built.starts_with('/')) {
        built = "Z:" + built;
    }
    const auto spelled = [](const std::string& path) {
        return std::filesystem::path(path).make_preferred().lexically_normal();
    };
    EXPECT_EQ(spelled(folder), spelled(built + "\\"));
#else
    EXPECT_EQ(folder, std::filesystem::canonical(ORVANTA_TEST_PROGRAM_DIR).string() + "/");
#endif
}

}  // namespace
}  // namespace orvanta
