#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace orvanta::test {

// What a finished program left behind.
struct ProgramResult {
    int status = -1;  // its exit status; -1 when a signal ended it or it had to be killed
    std::string out;  // as text: Windows' CR LF line ends read as "\n"
    std::string err;
};

// Runs a program with args (no shell), standard input empty, and waits for it within timeout;
// one still running then is killed.
ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace orvanta::test
