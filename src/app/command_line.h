#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace mdk {

// Result codes of commandLineArgument.
enum CommandLineCode : int {
    kArgumentFound = 1,    // the argument was found and copied
    kArgumentMissing = 2,  // the command line holds fewer arguments; destination empty
    kOddQuotes = 3,        // the command line holds an odd number of double quotes
    kArgumentEmpty = 4,    // the argument is an empty pair of quotes
};

// Takes argument `number` (0 is the program's own name, 1 the first argument after it)
// from a command line. Arguments are separated by spaces or tabs; a stretch between
// double quotes keeps its spaces, and every double quote is dropped from the result.
// A command line with an odd number of double quotes yields kOddQuotes for every number.
//
// Any length is handled: the working copy and the result are std::strings, so a long
// command line (a package path deep in a folder tree) is neither cut nor overrun.
int commandLineArgument(std::string_view commandLine, int number, std::string& destination);

// Joins the process arguments into one command line that commandLineArgument reads back:
// arguments holding a space or a tab, and empty ones, are put in double quotes. A double
// quote inside an argument is kept as it stands; the rule above has no escape for it.
std::string buildCommandLine(const std::vector<std::string>& arguments);
std::string buildCommandLine(int argc, const char* const* argv);

// The package or skin pack of a start from the desktop: the process's first argument
// exactly as it arrived. The desktop hands a path over as one argument, so a double quote
// or a tab in it is part of the name, not a separator; empty when there is none.
std::string startArgument(int argc, const char* const* argv);

}  // namespace mdk
