#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace orvanta::tools {

// The registry tool for operators and scripts, since the manager never creates its database:
//   create PATH
//   add PATH --group G --ip A --port N --file F [--inactive]
//   list PATH [--group G]
//   set PATH --id N [--group G] [--ip A] [--port N] [--file F]
//   remove|activate|deactivate PATH --id N
// Returns the exit status: 0 done, 1 the registry could not be made or changed, 2 bad input or
// no player with the id.
int RunRegistryTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// An IPv4 address as four decimal numbers 0..255 joined by dots, written back without
// leading zeros; nothing for anything else.
std::optional<std::string> ParseAddress(const std::string& text);

// A control port as the manager's port box takes it: a whole number from 7000 to 33333.
inline constexpr int kLowestPort = 7000;
inline constexpr int kHighestPort = 33333;
std::optional<int> ParsePort(const std::string& text);

}  // namespace orvanta::tools
