#include <gtest/gtest.h>

#include "ftp/NamePart.h"

namespace orvanta::ftp {
namespace {

TEST(NamePartTest, backslashColonAndSlashSeparate) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\media\\clip.mp4", "clip.mp4"},
        {"C:/media/clip.mp4", "clip.mp4"},
        {"\\\\server\\share\\clip.mp4", "clip.mp4"},
        {"clip.mp4", "clip.mp4"},
        {"/home/kelt/clip.mp4", "clip.mp4"},
        {"media/sub\\clip.mp4", "clip.mp4"},
        {"D:clip.mp4", "clip.mp4"},
        {"C:\\media\\", ""},
        {"", ""},
        {"a\\b:c", "c"},
        {"my clip.mp4", "my clip.mp4"},
    };
    for (const auto& [path, name] : cases) {
        EXPECT_EQ(NamePart(path), name) << path;
    }
}

}  // namespace
}  // namespace orvanta::ftp
