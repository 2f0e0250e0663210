// Golden tests of velloran-report: each folder under tests/golden holds the
// arguments ("args", words separated by blanks, {case} standing for the
// folder), maybe a scenario, and the expected standard output, standard error
// and exit status. VELLORAN_UPDATE_GOLDEN=1 rewrites the expectations.
#include "tests/common/Files.h"
#include "tools/HeadlessRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {
void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary);
    file << content;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::vector<std::string> CaseNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(VELLORAN_GOLDEN_DIR))
        if (entry.is_directory())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ReportGolden : public testing::TestWithParam<std::string> {};

} // namespace

TEST_P(ReportGolden, MatchesExpectedOutput) {
    const fs::path dir = fs::path(VELLORAN_GOLDEN_DIR) / GetParam();
    std::istringstream words(
        ReplaceAll(testcommon::ReadWholeFile(dir / "args"), "{case}", dir.string()));
    std::vector<std::string> args;
    for (std::string word; words >> word;)
        args.push_back(word);

    std::ostringstream out, err;
    const int status = tools::RunVelloranReport(args, out, err);
    const std::string errText = ReplaceAll(err.str(), dir.string(), "{case}");

    if (std::getenv("VELLORAN_UPDATE_GOLDEN")) {
        WriteFile(dir / "expected.out", out.str());
        WriteFile(dir / "expected.err", errText);
        WriteFile(dir / "expected.rc", std::to_string(status) + "\n");
        GTEST_SKIP() << "expectations rewritten";
    }
    EXPECT_EQ(std::to_string(status) + "\n", testcommon::ReadWholeFile(dir / "expected.rc"));
    EXPECT_EQ(errText, testcommon::ReadWholeFile(dir / "expected.err"));
    EXPECT_EQ(out.str(), testcommon::ReadWholeFile(dir / "expected.out"));
}

INSTANTIATE_TEST_SUITE_P(Cases, ReportGolden, testing::ValuesIn(CaseNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });
