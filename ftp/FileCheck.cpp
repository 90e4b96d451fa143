// What the additions ask of a file before any player is contacted; shared by the platforms.
#include <filesystem>
#include <fstream>

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
    const auto refuse = [&] {
        throw Failure("Cannot open file \"" + FullPath(path) + "\". Not a regular file");
    };
    if (!std::filesystem::is_regular_file(path, error)) {
        refuse();
    }
    // The system's own files (/proc on Linux) call themselves regular and empty yet read as
    // text: sent, they would replace every player's file with an empty one.
    if (std::filesystem::file_size(path, error) == 0 && !error) {
        std::ifstream content(std::filesystem::path(path), std::ios::binary);
        if (content.get() != std::ifstream::traits_type::eof()) {
            refuse();
        }
    }
}

}  // namespace orvanta::ftp
