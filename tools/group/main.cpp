#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "registry/ExecutableFolder.h"
#include "tools/group/GroupTool.h"

int main(int argc, char** argv) {
    const orvanta::tools::GroupToolEnvironment environment{
        std::cout, std::cerr, ::isatty(STDOUT_FILENO) == 1, orvanta::registry::ExecutableFolder};
    return orvanta::tools::RunGroupTool(std::vector<std::string>(argv + 1, argv + argc),
                                        environment);
}
