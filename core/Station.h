#pragma once

#include <string>

namespace orvanta {

// The machine this program runs on, by its host name; empty when the system cannot tell.
// One file a platform.
std::string StationName();

// The operator running this program: the login of the session where there is one (a
// terminal's, even under sudo), otherwise the account the program runs as (cron, systemd);
// empty when the system cannot tell. One file a platform.
std::string OperatorName();

}  // namespace orvanta
