#include <iostream>
#include <string>
#include <vector>

#include "tools/registry/RegistryTool.h"

int main(int argc, char** argv) {
    return orvanta::tools::RunRegistryTool(std::vector<std::string>(argv + 1, argv + argc),
                                           std::cout, std::cerr);
}
