#include "tools/HeadlessRun.h"
#include "tools/ReportPlatform.h"

#include <iostream>

int main(int argc, char** argv) {
    const tools::TReportPlatform platform;
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tools::RunVelloranReport(args, std::cout, std::cerr);
}
