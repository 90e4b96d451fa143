#pragma once

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

namespace orvanta::bench {

using Clock = std::chrono::steady_clock;

// Milliseconds since start.
inline double Ms(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A /proc/self/status figure in KiB ("VmRSS", "VmHWM"); -1 when absent.
inline long StatusKib(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

}  // namespace orvanta::bench
