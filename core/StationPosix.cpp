#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "core/Station.h"

namespace orvanta {

std::string StationName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

std::string OperatorName() {
    // A session without a terminal (cron, systemd) has no login name: the account tells then.
    char login[LOGIN_NAME_MAX + 1] = {};
    if (::getlogin_r(login, sizeof login) == 0 && login[0] != '\0') {
        return login;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name) {
        return found->pw_name;
    }
    return {};
}

}  // namespace orvanta
