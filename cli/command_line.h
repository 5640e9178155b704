#pragma once
#include <string>
#include <vector>

#include "cli/commands.h"

namespace mdk::cli {

// The tool's command line: the global options (before or after the command), the
// command, and what it was given. "--" ends the options; what follows are operands.
struct CommandLine {
    std::string address = "usb";
    bool showLog = false;
    bool trace = false;
    bool verifyTransfers = false;  // the global --verify (backup has a --verify of its own)
    bool help = false;
    bool version = false;
    std::string completion;  // --completion SHELL
    const Command* command = nullptr;
    Invocation invocation;
    // Why the line cannot run, in our words (empty when it can); the usage follows it.
    std::string problem;
};

CommandLine parseCommandLine(int argc, const char* const* argv);

// The options every command takes, as the usage and the completions show them.
const std::vector<Option>& globalOptions();

// "usage: ..." with the global options and every command, for --help and for a line
// without a known command.
std::string programUsage();
// A command's usage line, its help and its own options.
std::string commandUsage(const Command& command);

}  // namespace mdk::cli
