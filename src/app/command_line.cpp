#include "app/command_line.h"

#include <algorithm>

namespace mdk {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The working copy: tabs become spaces, and every space inside a quoted stretch is
// marked protected so that it does not split an argument.
struct WorkingCopy {
    std::string text;
    std::vector<bool> protectedSpace;
};

WorkingCopy makeWorkingCopy(std::string_view commandLine) {
    WorkingCopy copy;
    copy.text.reserve(commandLine.size());
    copy.protectedSpace.reserve(commandLine.size());
    bool quoted = false;
    for (char c : commandLine) {
        if (c == '"') quoted = !quoted;
        const bool blank = isBlank(c);
        copy.text.push_back(blank ? ' ' : c);
        copy.protectedSpace.push_back(blank && quoted);
    }
    return copy;
}

bool splits(const WorkingCopy& copy, size_t at) {
    return copy.text[at] == ' ' && !copy.protectedSpace[at];
}

size_t skipSeparators(const WorkingCopy& copy, size_t at) {
    while (at < copy.text.size() && splits(copy, at)) ++at;
    return at;
}

size_t skipWord(const WorkingCopy& copy, size_t at) {
    while (at < copy.text.size() && !splits(copy, at)) ++at;
    return at;
}

}  // namespace

int commandLineArgument(std::string_view commandLine, int number, std::string& destination) {
    destination.clear();
    if (std::count(commandLine.begin(), commandLine.end(), '"') % 2 != 0) return kOddQuotes;
    if (number < 0) return kArgumentMissing;

    const WorkingCopy copy = makeWorkingCopy(commandLine);
    size_t at = skipSeparators(copy, 0);
    for (int skipped = 0; skipped < number; ++skipped) {
        at = skipSeparators(copy, skipWord(copy, at));
    }
    const size_t end = skipWord(copy, at);
    if (at == end) return kArgumentMissing;

    // Quotes are dropped; protected spaces are already plain spaces in the copy.
    for (size_t i = at; i < end; ++i) {
        if (copy.text[i] != '"') destination.push_back(copy.text[i]);
    }
    return destination.empty() ? kArgumentEmpty : kArgumentFound;
}

std::string buildCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line.push_back(' ');
        const bool needsQuotes =
            argument.empty() || std::any_of(argument.begin(), argument.end(), isBlank);
        if (needsQuotes) line.push_back('"');
        line += argument;
        if (needsQuotes) line.push_back('"');
    }
    return line;
}

std::string buildCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return buildCommandLine(arguments);
}

std::string startArgument(int argc, const char* const* argv) {
    if (argc < 2 || argv == nullptr || argv[0] == nullptr || argv[1] == nullptr) return {};
    return argv[1];
}

}  // namespace mdk
