// What the additions ask of a file before any player is contacted; shared by the platforms.
#include <filesystem>

#include "core/Failure.h"
#include "ftp/FileSource.h"

namespace orvanta::ftp {

void RefuseNulInPath(const std::string& path) {
    const std::size_t nul = path.find('\0');
    if (nul == std::string::npos) {
        return;
    }
    std::string shown = path;
    for (std::size_t at = nul; at != std::string::npos; at = shown.find('\0', at)) {
        shown.replace(at, 1, "\\0");
    }
    throw Failure("Cannot open file \"" + shown + "\". The name holds a NUL character");
}

void RequireRegularFile(const std::string& path) {
    { FileSource readable(path); }
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw Failure("Cannot open file \"" + FullPath(path) + "\". Not a regular file");
    }
}

}  // namespace orvanta::ftp
