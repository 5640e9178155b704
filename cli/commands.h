#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace mdk::cli {

class Session;

// An operand of a command, named as its usage shows it. The completion reads the name:
// PC_PATH, FILE, CSV and DIR complete as local paths.
struct Operand {
    const char* name;
    bool required = true;
};

// One of a command's own options: a flag, or an option that takes a value when value
// names it ("--write FILE").
struct Option {
    const char* name;  // "--allow-shell"
    const char* value = nullptr;
    const char* help = "";
};

// What the command line gave one command: its operands in order and its own options.
struct Invocation {
    std::vector<std::string> operands;
    std::map<std::string, std::string> options;  // by name; a flag's value is empty
    std::string address;  // --phone, for a command that opens the phone itself

    bool has(const std::string& option) const { return options.count(option) != 0; }
    std::string value(const std::string& option) const;
    // A handler without options of its own takes the operands alone.
    operator const std::vector<std::string>&() const { return operands; }
};

using Handler = std::function<void(Session& session, const Invocation& invocation)>;

// One command of the tool. The command-line parser, the usage texts, the manual page and
// the shell completions are all made from this table.
struct Command {
    const char* name;
    const char* help;
    std::vector<Operand> operands = {};
    std::vector<Option> options = {};
    Handler run;
    // False for a command that opens no phone, or opens it itself: main then does not
    // connect the session before it.
    bool connectsFirst = true;
};

const std::vector<Command>& commandTable();

}  // namespace mdk::cli
