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
    // missing, is a directory or cannot be read, and before any call when it holds a NUL.
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // The size the file has now; it may have grown or shrunk since it was opened.
    std::int64_t Size() override;
    void Rewind() override;
    void Seek(std::int64_t offset) override;
    // Fills as much of the buffer as the file holds; 0 at the end or on a read error.
    std::size_t Read(char* buffer, std::size_t size) override;

private:
    // The open file: a descriptor on POSIX, a HANDLE on Windows.
    static constexpr std::intptr_t kNoFile = -1;
    std::intptr_t m_file = kNoFile;

    int Fd() const { return static_cast<int>(m_file); }
};

// Fails, as FileSource does, for a path holding a NUL: the system would open the file named by
// what comes before it, while what comes after could name something else on the way.
void RefuseNulInPath(const std::string& path);

// Fails as FileSource does for a file that cannot be read, and with "Cannot open file
// \"<full path>\". Not a regular file" for anything else than a plain file (a pipe, a device, a
// folder), whose size says nothing of what reading it would give.
void RequireRegularFile(const std::string& path);

// The path as the system expands it: absolute from the current directory, "." and ".."
// resolved by name; the current directory for an empty path.
std::string FullPath(const std::string& path);

}  // namespace orvanta::ftp
