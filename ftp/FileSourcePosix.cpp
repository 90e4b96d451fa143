// The upload source on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/Failure.h"
#include "ftp/FileSource.h"

namespace orvanta::ftp {

namespace {

// The system's text for the error, without the trailing blanks and full stops that would
// clash with the sentence around it.
std::string SystemErrorText(int error) {
    std::string text = std::strerror(error);
    while (!text.empty() && (text.back() == ' ' || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

[[noreturn]] void ThrowCannotOpen(const std::string& path, int error) {
    // "Cannot open file \"%s\". %s", filled piecewise: a path may itself hold "%s".
    throw Failure("Cannot open file \"" + FullPath(path) + "\". " + SystemErrorText(error));
}

}  // namespace

std::string FullPath(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    // An empty path expands to nothing: the operator reads an empty name between the quotes.
    if (path.empty()) {
        return path;
    }
    fs::path full = fs::absolute(path, error);
    if (error) {
        return path;
    }
    return full.lexically_normal().string();
}

FileSource::FileSource(const std::string& path) {
    RefuseNulInPath(path);
    if (path.empty()) {
        ThrowCannotOpen(path, ENOENT);
    }
    // Non-blocking only for the open itself, so that a named pipe cannot hold the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        ThrowCannotOpen(path, errno);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        ThrowCannotOpen(path, error);
    }
    m_file = fd;
}

FileSource::~FileSource() {
    if (m_file != kNoFile) {
        ::close(Fd());
    }
}

std::int64_t FileSource::Size() {
    struct stat info {};
    if (::fstat(Fd(), &info) != 0) {
        return 0;
    }
    return static_cast<std::int64_t>(info.st_size);
}

void FileSource::Rewind() {
    ::lseek(Fd(), 0, SEEK_SET);
}

void FileSource::Seek(std::int64_t offset) {
    ::lseek(Fd(), static_cast<off_t>(offset), SEEK_SET);
}

std::size_t FileSource::Read(char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(Fd(), buffer + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    return done;
}

}  // namespace orvanta::ftp
