#include <windows.h>

#include <lmcons.h>

#include "core/Station.h"

namespace orvanta {

std::string StationName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size)) {
        return {};
    }
    return std::string(name, size);
}

std::string OperatorName() {
    char name[UNLEN + 1] = {};
    DWORD size = sizeof name;
    if (!::GetUserNameA(name, &size) || size == 0) {
        return {};
    }
    // The size counts the terminating NUL.
    return std::string(name, size - 1);
}

}  // namespace orvanta
