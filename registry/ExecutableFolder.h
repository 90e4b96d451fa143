#pragma once

#include <string>

namespace orvanta::registry {

// The folder of the running executable, with its trailing separator ("/opt/orvanta/").
std::string ExecutableFolder();

}  // namespace orvanta::registry
