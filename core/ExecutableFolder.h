#pragma once

#include <string>

namespace orvanta {

// The folder of the running executable, with its trailing separator ("/opt/orvanta/",
// "C:\Programs\Manager\"); empty when the system cannot tell. One file a platform.
std::string ExecutableFolder();

}  // namespace orvanta
