#include "tools/HeadlessRun.h"

#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tools::RunVelloranReport(args, std::cout, std::cerr);
}
