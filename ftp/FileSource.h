#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ftp/FtpClient.h"

namespace orvanta::ftp {

// An upload source over a local file, opened for reading while others may go on reading and
// writing it. The file is closed when the source is destroyed.
class FileSource : public UploadSource {
public:
    // Fails with "Cannot open file \"<full path>\". <system text>" when the path is empty, is
    // missing, is a directory or cannot be read.
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // The size the file has now; it may have grown or shrunk since it was opened.
    std::int64_t Size() override;
    void Rewind() override;
    // Fills as much of the buffer as the file holds; 0 at the end or on a read error.
    std::size_t Read(char* buffer, std::size_t size) override;

private:
    // The open file: a descriptor on POSIX, a HANDLE on Windows.
    static constexpr std::intptr_t kNoFile = -1;
    std::intptr_t m_file = kNoFile;

    int Fd() const { return static_cast<int>(m_file); }
};

// The path as the system expands it: absolute from the current directory, "." and ".."
// resolved by name; the current directory for an empty path.
std::string FullPath(const std::string& path);

}  // namespace orvanta::ftp
