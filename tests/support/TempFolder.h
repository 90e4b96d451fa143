#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace orvanta::test {

// A new, empty folder of its own under the system's temporary folder, on any platform.
inline std::string MakeTempFolder(const std::string& prefix) {
    namespace fs = std::filesystem;
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path folder = fs::temp_directory_path() / (prefix + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(folder, error)) {
            return folder.string();
        }
    }
    throw std::runtime_error("cannot make a temporary folder for " + prefix);
}

}  // namespace orvanta::test
