#include <windows.h>

#include <vector>

#include "core/ExecutableFolder.h"

namespace orvanta {

std::string ExecutableFolder() {
    // The buffer grows until the whole path fits: long paths exceed MAX_PATH.
    for (DWORD size = MAX_PATH; size <= 32768 * 2; size *= 2) {
        std::vector<char> buffer(size);
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), size);
        if (length == 0) {
            return {};
        }
        if (length < size) {
            const std::string path(buffer.data(), length);
            const std::size_t separator = path.find_last_of("\\/");
            return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
        }
    }
    return {};
}

}  // namespace orvanta
