#pragma once
#include <string>
#include <vector>

namespace mdk::cli {

class Session;

// One command of the tool: its name, argument text, help, argument count and handler;
// connectsFirst false: the command opens (or does not open) the phone itself.
struct Command {
    const char* name;
    const char* arguments;
    const char* help;
    size_t minArgs;
    size_t maxArgs;
    void (*run)(Session& session, const std::vector<std::string>& args);
    bool connectsFirst = true;
};

const std::vector<Command>& commandTable();

}  // namespace mdk::cli
