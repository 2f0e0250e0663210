#include "app/model/CommandLine.h"
#include "support/ProgramInfo.h"

#include <gtest/gtest.h>

namespace {

using TAction = app::TCommandLine::TAction;

TAction ActionOf(std::vector<std::string> args) {
    return app::ParseCommandLine(args).Action;
}

TEST(CommandLine, HelpAndVersionWinWhereverTheyStandUpToDoubleDash) {
    EXPECT_EQ(ActionOf({"--help"}), TAction::Help);
    EXPECT_EQ(ActionOf({"DEBUG", "--version", "--help"}), TAction::Version);
    // Even beside an unknown option: GNU programs answer --help first.
    EXPECT_EQ(ActionOf({"--bogus", "--help"}), TAction::Help);
    EXPECT_EQ(ActionOf({"--", "--help"}), TAction::Run);
    EXPECT_EQ(support::FindStandardRequest({"--scenario", "x", "--version"}),
              support::TStandardRequest::Version);
}

TEST(CommandLine, DebugAndPlainWordsRunUnknownOptionsAreNamed) {
    EXPECT_EQ(ActionOf({}), TAction::Run);
    EXPECT_EQ(ActionOf({"debug"}), TAction::Run);
    EXPECT_EQ(ActionOf({"DEBUG", "anything", "else"}), TAction::Run);
    EXPECT_EQ(ActionOf({"-"}), TAction::Run); // a lone dash is a word
    for (const std::string option : {"-x", "--debug", "--helpme"}) {
        const app::TCommandLine line = app::ParseCommandLine({"DEBUG", option});
        EXPECT_EQ(line.Action, TAction::Error) << option;
        EXPECT_NE(line.Error.find("'" + option + "'"), std::string::npos) << line.Error;
    }
}

TEST(CommandLine, VersionTextCarriesTheBuildsVersion) {
    const std::string text = support::VersionText("velloran-report");
    EXPECT_EQ(text.substr(0, text.find('\n')),
              std::string("velloran-report (Velloran) ") + support::BuildVersion());
    EXPECT_STRNE(support::BuildVersion(), "");
}

} // namespace
