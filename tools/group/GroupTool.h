#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace orvanta::tools {

// Where the group tool writes and what it knows of its surroundings.
struct GroupToolEnvironment {
    std::ostream& out;
    std::ostream& err;
    // Whether out is a terminal: live progress lines and a summary table, instead of one plain
    // line per event.
    bool terminal = false;
    // The folder whose data.mdb is the default registry, with its trailing separator.
    std::function<std::string()> executableFolder;
};

// The group commands without the window, for scripts and schedules:
//   copy|load|play|pause|fullscreen --registry PATH --group NAME [--file PATH]
// Every active player of the group is connected and served at once. Returns the exit status:
// 0 every player succeeded, 1 any failed (the others still served), 2 bad input.
int RunGroupTool(const std::vector<std::string>& args, const GroupToolEnvironment& environment);

}  // namespace orvanta::tools
