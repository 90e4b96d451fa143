#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "core/ExecutableFolder.h"
#include "tools/group/GroupTool.h"

namespace {

// Live progress only on a terminal; plain event lines into a file or a pipe.
bool OutputIsTerminal() {
#ifdef _WIN32
    return ::_isatty(::_fileno(stdout)) != 0;
#else
    return ::isatty(STDOUT_FILENO) == 1;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const orvanta::tools::GroupToolEnvironment environment{std::cout, std::cerr, OutputIsTerminal(),
                                                           orvanta::ExecutableFolder};
    return orvanta::tools::RunGroupTool(std::vector<std::string>(argv + 1, argv + argc),
                                        environment);
}
