#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "core/Descriptors.h"

namespace orvanta {

void RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max) {
        return;
    }
    limit.rlim_cur = limit.rlim_max;
    // An unlimited hard limit is refused for open files; the soft limit then stays.
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

DescriptorReserve::DescriptorReserve() {
    Take();
}

DescriptorReserve::~DescriptorReserve() {
    Release();
}

void DescriptorReserve::Release() {
    for (int fd : m_held) {
        ::close(fd);
    }
    m_held.clear();
}

void DescriptorReserve::Take() {
    while (Held() < kSize) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return;
        }
        m_held.push_back(fd);
    }
}

}  // namespace orvanta
