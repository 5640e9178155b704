// The usage texts, made from the command table: --help, COMMAND --help, the usage after a
// usage error, and through them the manual page.
#include <string>

#include "cli/command_line.h"

namespace mdk::cli {
namespace {

constexpr size_t kOptionColumn = 22;
constexpr size_t kCommandColumn = 34;

// "  LEFT   HELP", the help's further lines under its first.
std::string row(const std::string& left, size_t column, const std::string& help) {
    std::string text = "  " + left;
    // A long left part has its help on the next line.
    text += text.size() < column ? std::string(column - text.size(), ' ')
                                 : "\n" + std::string(column, ' ');
    for (char c : help) {
        text += c;
        if (c == '\n') text += std::string(column, ' ');
    }
    return text + "\n";
}

std::string optionText(const Option& option) {
    std::string text = option.name;
    if (option.value) text.append(" ").append(option.value);
    return text;
}

std::string operandsText(const Command& command) {
    std::string text;
    for (const Operand& operand : command.operands) {
        text += operand.required ? std::string(" ") + operand.name
                                 : std::string(" [") + operand.name + "]";
    }
    return text;
}

std::string optionRows(const std::vector<Option>& options) {
    std::string text;
    for (const Option& option : options)
        text += row(optionText(option), kOptionColumn, option.help);
    return text;
}

}  // namespace

std::string programUsage() {
    std::string text =
        "usage: marrowdeck-cli [OPTIONS] COMMAND [ARGS]\n"
        "       marrowdeck-cli COMMAND --help\n"
        "\noptions (before or after the command; -- ends them):\n";
    text += optionRows(globalOptions());
    text += "\ncommands:\n";
    for (const Command& command : commandTable()) {
        std::string left = command.name + operandsText(command);
        if (!command.options.empty()) left += " [OPTIONS]";
        text += row(left, kCommandColumn, command.help);
    }
    return text;
}

std::string commandUsage(const Command& command) {
    std::string text = std::string("usage: marrowdeck-cli [OPTIONS] ") + command.name;
    for (const Option& option : command.options) text += " [" + optionText(option) + "]";
    text += operandsText(command) + "\n  " + command.help + "\n";
    if (!command.options.empty()) {
        text += std::string("\noptions of ") + command.name + ":\n" + optionRows(command.options);
    }
    return text + "\nThe tool's own options: marrowdeck-cli --help\n";
}

}  // namespace mdk::cli
