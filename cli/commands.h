#pragma once
#include <string>
#include <vector>

namespace mdk::cli {

class Session;

// One command of the tool: its name, argument text, help, argument count and handler.
struct Command {
    const char* name;
    const char* arguments;
    const char* help;
    size_t minArgs;
    size_t maxArgs;
    void (*run)(Session& session, const std::vector<std::string>& args);
    // False for a command that opens the phone link itself, only when it needs the phone.
    bool connectsFirst = true;
};

const std::vector<Command>& commandTable();

}  // namespace mdk::cli
