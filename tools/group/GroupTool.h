#pragma once

#include <atomic>
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
    // The number of a signal that asks the run to stop (SIGINT, SIGTERM), set by the program's
    // handlers; 0 while none has. What is under way is then cancelled, the report shows how far
    // each player got, and the status is 128 + the number.
    const std::atomic<int>* stopSignal = nullptr;
};

// The group commands without the window, for scripts and schedules:
//   copy|load|play|pause|fullscreen|status --registry PATH --group NAME [--file PATH]
//   [--timeout SECONDS] [--all] [--limit-rate RATE] [--watch SECONDS]
// Every active player of the group is connected and served (or, for status, probed) at once.
// Returns the exit status: 0 every player succeeded (status: every port answered), 1 any
// failed (the others still served) or the registry could not be read, 2 bad input, 3 all
// succeeded but the output could not be written, 128 + the signal when stopped by one.
int RunGroupTool(const std::vector<std::string>& args, const GroupToolEnvironment& environment);

}  // namespace orvanta::tools
