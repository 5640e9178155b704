#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mdk {
namespace {

struct ArgumentCase {
    const char* name;
    std::string commandLine;
    int number;
    int code;
    std::string argument;
};

class CommandLineArgument : public testing::TestWithParam<ArgumentCase> {};

TEST_P(CommandLineArgument, FollowsTheRule) {
    const ArgumentCase& c = GetParam();
    std::string destination = "left over";
    EXPECT_EQ(commandLineArgument(c.commandLine, c.number, destination), c.code);
    EXPECT_EQ(destination, c.argument);
}

const std::string kQuotedProgram = R"("/opt/Marrow Deck/marrowdeck")";

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineArgument,
    testing::Values(
        ArgumentCase{"ProgramNameIsArgumentZero", "marrowdeck pack.mrdk", 0, 1, "marrowdeck"},
        ArgumentCase{"FirstArgument", "marrowdeck pack.mrdk", 1, 1, "pack.mrdk"},
        ArgumentCase{"QuotedPathsWithSpaces",
                     kQuotedProgram + R"( "/home/u/My Skins/red skin.mrdk")", 1, 1,
                     "/home/u/My Skins/red skin.mrdk"},
        ArgumentCase{"QuotedProgramIsOneArgument", kQuotedProgram + " x", 0, 1,
                     "/opt/Marrow Deck/marrowdeck"},
        ArgumentCase{"SecondAfterQuotedFirst", kQuotedProgram + R"( "a b" c)", 2, 1, "c"},
        ArgumentCase{"NoArgument", "marrowdeck", 1, 2, ""},
        ArgumentCase{"OnlyTrailingSpaces", "marrowdeck   \t ", 1, 2, ""},
        ArgumentCase{"EmptyCommandLine", "", 0, 2, ""},
        ArgumentCase{"PastTheLast", "marrowdeck a b", 3, 2, ""},
        ArgumentCase{"NegativeNumber", "marrowdeck a", -1, 2, ""},
        ArgumentCase{"ThreeQuotesFirst", R"(marrowdeck "a" ")", 1, 3, ""},
        ArgumentCase{"ThreeQuotesProgram", R"(marrowdeck "a" ")", 0, 3, ""},
        ArgumentCase{"ThreeQuotesMissing", R"(marrowdeck "a" ")", 5, 3, ""},
        ArgumentCase{"OneQuote", R"(marrowdeck a"b)", 1, 3, ""},
        ArgumentCase{"EmptyPairOfQuotes", R"(marrowdeck "" next)", 1, 4, ""},
        ArgumentCase{"EmptyPairCountsAsAnArgument", R"(marrowdeck "" next)", 2, 1, "next"},
        ArgumentCase{"LeadingSpacesSkipped", "   marrowdeck   a", 1, 1, "a"},
        ArgumentCase{"TabsSeparate", "marrowdeck\ta\t\tb", 2, 1, "b"},
        ArgumentCase{"TabInsideQuotesIsASpace", "marrowdeck \"a\tb\"", 1, 1, "a b"},
        ArgumentCase{"QuotesInsideAWordDropped", R"(marrowdeck pre"fix and"post)", 1, 1,
                     "prefix andpost"},
        ArgumentCase{"ManySpacesInsideQuotesKept", R"(marrowdeck "a   b")", 1, 1, "a   b"},
        ArgumentCase{"LongCommandLineNotCut", "marrowdeck " + std::string(500, 'x'), 1, 1,
                     std::string(500, 'x')},
        ArgumentCase{"ArgumentAfterPosition191",
                     "marrowdeck " + std::string(300, 'y') + " \"last one\"", 2, 1, "last one"}),
    [](const testing::TestParamInfo<ArgumentCase>& info) { return std::string(info.param.name); });

TEST(BuildCommandLine, QuotesArgumentsWithBlanksAndEmptyOnes) {
    EXPECT_EQ(buildCommandLine({"/usr/bin/marrowdeck", "/tmp/My Pack.mrdk", "", "a\tb", "plain"}),
              "/usr/bin/marrowdeck \"/tmp/My Pack.mrdk\" \"\" \"a\tb\" plain");
    EXPECT_EQ(buildCommandLine(std::vector<std::string>{}), "");
}

TEST(BuildCommandLine, EveryArgumentReadsBackUnchanged) {
    const std::vector<std::string> arguments = {"/opt/Marrow Deck/marrowdeck",
                                                "/home/user/skins/blue  skin.mrdk", "x",
                                                std::string(400, 'z') + " tail"};
    std::vector<const char*> argv;
    for (const auto& a : arguments) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    const std::string line = buildCommandLine(static_cast<int>(arguments.size()), argv.data());
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string destination;
        EXPECT_EQ(commandLineArgument(line, static_cast<int>(i), destination), kArgumentFound);
        EXPECT_EQ(destination, arguments[i]);
    }
    std::string destination;
    EXPECT_EQ(commandLineArgument(line, static_cast<int>(arguments.size()), destination),
              kArgumentMissing);
}

TEST(BuildCommandLine, EmptyArgumentReadsBackAsEmpty) {
    const char* argv[] = {"marrowdeck", "", nullptr};
    std::string destination;
    EXPECT_EQ(commandLineArgument(buildCommandLine(2, argv), 1, destination), kArgumentEmpty);
}

TEST(StartArgument, APathFromTheDesktopIsUsedAsGiven) {
    const std::string cases[] = {
        "/home/u/skins/my \"best\" skin.mrdk",  // one double quote pair inside the name
        "/home/u/skins/odd\"quote.mrdk",        // an odd number of quotes
        "/home/u/skins/tab\there.mrdk",         // a tab is part of the name
        "/home/u/skins/two  blanks.mrdk",      "relative.mrdk",
    };
    for (const std::string& path : cases) {
        const char* argv[] = {"marrowdeck", path.c_str(), "ignored", nullptr};
        EXPECT_EQ(startArgument(3, argv), path);
    }
    const char* none[] = {"marrowdeck", nullptr};
    EXPECT_EQ(startArgument(1, none), "");
    const char* empty[] = {"marrowdeck", "", nullptr};
    EXPECT_EQ(startArgument(2, empty), "");
    EXPECT_EQ(startArgument(2, nullptr), "");
}

}  // namespace
}  // namespace mdk
