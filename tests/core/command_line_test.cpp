#include "app/command_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "case_names.h"

namespace mdk {
namespace {

using test::caseName;

struct ArgumentCase {
    const char* what;
    std::string commandLine;
    int number;
    int code;
    std::string argument;
};

// The case as the test list and failure messages show it.
void PrintTo(const ArgumentCase& c, std::ostream* out) {
    *out << c.what;
}

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
        ArgumentCase{"program name is argument zero", "marrowdeck pack.mrdk", 0, 1, "marrowdeck"},
        ArgumentCase{"first argument", "marrowdeck pack.mrdk", 1, 1, "pack.mrdk"},
        ArgumentCase{"quoted paths with spaces",
                     kQuotedProgram + R"( "/home/u/My Skins/red skin.mrdk")", 1, 1,
                     "/home/u/My Skins/red skin.mrdk"},
        ArgumentCase{"quoted program is one argument", kQuotedProgram + " x", 0, 1,
                     "/opt/Marrow Deck/marrowdeck"},
        ArgumentCase{"second after quoted first", kQuotedProgram + R"( "a b" c)", 2, 1, "c"},
        ArgumentCase{"no argument", "marrowdeck", 1, 2, ""},
        ArgumentCase{"only trailing spaces", "marrowdeck   \t ", 1, 2, ""},
        ArgumentCase{"empty command line", "", 0, 2, ""},
        ArgumentCase{"past the last", "marrowdeck a b", 3, 2, ""},
        ArgumentCase{"negative number", "marrowdeck a", -1, 2, ""},
        ArgumentCase{"three quotes first", R"(marrowdeck "a" ")", 1, 3, ""},
        ArgumentCase{"three quotes program", R"(marrowdeck "a" ")", 0, 3, ""},
        ArgumentCase{"three quotes missing", R"(marrowdeck "a" ")", 5, 3, ""},
        ArgumentCase{"one quote", R"(marrowdeck a"b)", 1, 3, ""},
        ArgumentCase{"empty pair of quotes", R"(marrowdeck "" next)", 1, 4, ""},
        ArgumentCase{"empty pair counts as an argument", R"(marrowdeck "" next)", 2, 1, "next"},
        ArgumentCase{"leading spaces skipped", "   marrowdeck   a", 1, 1, "a"},
        ArgumentCase{"tabs separate", "marrowdeck\ta\t\tb", 2, 1, "b"},
        ArgumentCase{"tab inside quotes is a space", "marrowdeck \"a\tb\"", 1, 1, "a b"},
        ArgumentCase{"quotes inside a word dropped", R"(marrowdeck pre"fix and"post)", 1, 1,
                     "prefix andpost"},
        ArgumentCase{"many spaces inside quotes kept", R"(marrowdeck "a   b")", 1, 1, "a   b"},
        ArgumentCase{"long command line not cut", "marrowdeck " + std::string(500, 'x'), 1, 1,
                     std::string(500, 'x')},
        ArgumentCase{"argument after position 191",
                     "marrowdeck " + std::string(300, 'y') + " \"last one\"", 2, 1, "last one"}),
    [](const testing::TestParamInfo<ArgumentCase>& info) { return caseName(info.param.what); });

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
