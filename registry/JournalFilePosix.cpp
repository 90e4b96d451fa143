#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/Failure.h"
#include "registry/JournalFile.h"

namespace orvanta::registry {

namespace {

[[noreturn]] void Fail(const std::string& path, int error) {
    throw Failure("Cannot write the journal \"" + path + "\": " + std::strerror(error) + ".");
}

// The descriptor, closed on scope exit (which also drops its lock).
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

}  // namespace

void AppendJournalLine(const std::string& path, const std::string& line) {
    Descriptor file;
    // O_APPEND: every write lands at the end as it is at that moment, whoever else writes.
    file.fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (file.fd < 0) {
        Fail(path, errno);
    }
    // Readers take no lock, only writers; flock also holds between stations on NFS.
    while (::flock(file.fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            Fail(path, errno);
        }
    }
    struct stat status {};
    if (::fstat(file.fd, &status) != 0) {
        Fail(path, errno);
    }
    std::string bytes;
    if (status.st_size > 0) {
        char last = '\n';
        if (::pread(file.fd, &last, 1, status.st_size - 1) == 1 && last != '\n') {
            bytes = "\n";
        }
    }
    bytes += line;
    ssize_t written;
    do {
        written = ::write(file.fd, bytes.data(), bytes.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        Fail(path, errno);
    }
    if (static_cast<std::size_t>(written) != bytes.size()) {
        Fail(path, ENOSPC);
    }
}

}  // namespace orvanta::registry
