#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include "cli/phone_address.h"

namespace mdk::cli {
namespace {

constexpr const char* kOperands = "operands";

struct Parser {
    CLI::App app;
    std::vector<std::pair<const Command*, CLI::App*>> commands;
};

// A fresh app for the parser: no help of CLI11's own (ours comes from the table), unknown
// words kept for our messages, options of the tool taken after the command too.
void quiet(CLI::App& app) {
    app.set_help_flag();
    app.allow_extras();
    app.fallthrough();
}

void addOption(CLI::App& app, const Option& option) {
    if (option.value) {
        app.add_option(option.name)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    } else {
        app.add_flag(option.name)->disable_flag_override();
    }
}

void configure(Parser& parser, CommandLine& line) {
    CLI::App& app = parser.app;
    quiet(app);
    app.require_subcommand(0, 1);  // a command's name among its operands is an operand
    app.add_option("--phone", line.address);
    app.add_flag("--log", line.showLog)->disable_flag_override();
    app.add_flag("--trace", line.trace)->disable_flag_override();
    app.add_flag("--verify", line.verifyTransfers)->disable_flag_override();
    app.add_flag("-h,--help", line.help)->disable_flag_override();
    app.add_flag("--version", line.version)->disable_flag_override();
    app.add_option("--completion", line.completion);
    for (const Command& command : commandTable()) {
        CLI::App* sub = app.add_subcommand(command.name);
        quiet(*sub);
        sub->add_option(kOperands)
            ->expected(0, CLI::detail::expected_max_vector_size)
            ->allow_extra_args();
        for (const Option& option : command.options) addOption(*sub, option);
        parser.commands.emplace_back(&command, sub);
    }
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// CLI11's own complaints in our words: an option without its value ("--phone: 1 required
// TEXT missing") and a flag given one ("log was given a disallowed flag override").
std::string parseProblem(const CLI::ParseError& error) {
    const std::string text = error.what();
    if (endsWith(text, " missing")) return "missing value for " + text.substr(0, text.find(':'));
    if (endsWith(text, " was given a disallowed flag override")) {
        const std::string name = text.substr(0, text.find(' '));  // without its dashes
        return (name[0] == '-' ? name : "--" + name) + " takes no value";
    }
    return "bad command line: " + text;
}

void takeInvocation(const Parser& parser, CommandLine& line) {
    for (const auto& [command, sub] : parser.commands) {
        if (!sub->parsed()) continue;
        line.command = command;
        line.invocation.operands = sub->get_option(kOperands)->results();
        for (const Option& option : command->options) {
            const CLI::Option* given = sub->get_option(option.name);
            if (given->count() == 0) continue;
            line.invocation.options[option.name] = option.value ? given->as<std::string>() : "";
        }
    }
}

const Command* findCommand(const std::string& name) {
    for (const Command& command : commandTable()) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

// The words nobody took: an option we do not know, or a word where the command belongs.
std::string leftOverProblem(const Parser& parser, const CommandLine& line) {
    std::vector<std::string> left = parser.app.remaining();
    for (const auto& entry : parser.commands) {
        for (const auto& word : entry.second->remaining()) left.push_back(word);
    }
    for (const auto& word : left) {
        if (word == "--") continue;
        if (word.size() > 1 && word[0] == '-') return "unknown option " + word;
        if (!line.command) return "unknown command " + word;
        return "extra operand " + word + " for " + line.command->name;
    }
    return {};
}

// Words after "--": operands of the command (or the command and its operands).
void takeTail(std::vector<std::string> tail, CommandLine& line) {
    if (tail.empty()) return;
    if (!line.command) {
        line.command = findCommand(tail.front());
        if (!line.command) {
            line.problem = "unknown command " + tail.front();
            return;
        }
        tail.erase(tail.begin());
    }
    auto& operands = line.invocation.operands;
    operands.insert(operands.end(), tail.begin(), tail.end());
}

std::string operandProblem(const Command& command, const std::vector<std::string>& operands) {
    size_t required = 0;
    for (const Operand& operand : command.operands) required += operand.required;
    if (operands.size() < required) {
        return std::string("missing ") + command.operands[operands.size()].name + " for " +
               command.name;
    }
    if (operands.size() > command.operands.size()) {
        return "extra operand " + operands[command.operands.size()] + " for " + command.name;
    }
    return {};
}

// What stops the line from running once it parsed: the checks --help skips.
std::string runProblem(const CommandLine& line) {
    if (!line.completion.empty() && line.completion != "bash" && line.completion != "zsh") {
        return "unknown shell " + line.completion + " for --completion (want bash or zsh)";
    }
    if (line.version || !line.completion.empty()) return {};
    if (!line.command) return "no command given";
    if (auto bad = addressProblem(line.address)) return *bad;
    return operandProblem(*line.command, line.invocation.operands);
}

}  // namespace

const std::vector<Option>& globalOptions() {
    static const std::vector<Option> options = {
        {"--phone", "ADDRESS",
         "the phone: sim, unix:PATH, tcp:HOST:PORT, usblan:HOST[:PORT], usb\n"
         "(the default) or auto"},
        {"--verify", nullptr,
         "read every upload back and compare it, check every download's size\n"
         "against the phone's listing (backup --verify checks a backup instead)"},
        {"--log", nullptr, "print the event log"},
        {"--trace", nullptr, "print the event log with the USB packet trace"},
        {"--help", nullptr, "show this help, or with a command that command's (also -h)"},
        {"--version", nullptr, "show the version"},
        {"--completion", "SHELL", "print the completion script for bash or zsh"},
    };
    return options;
}

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    std::vector<std::string> words(argv + 1, argv + argc);
    // CLI11 hands words after "--" back to the tool's options once the command's operands
    // are met, so they are split off here.
    std::vector<std::string> tail;
    const auto end = std::find(words.begin(), words.end(), "--");
    if (end != words.end()) {
        tail.assign(end + 1, words.end());
        words.erase(end, words.end());
    }
    Parser parser;
    configure(parser, line);
    std::reverse(words.begin(), words.end());  // CLI11 takes them last first
    try {
        parser.app.parse(words);
    } catch (const CLI::ParseError& error) {
        line.problem = parseProblem(error);
    }
    takeInvocation(parser, line);
    if (line.problem.empty()) line.problem = leftOverProblem(parser, line);
    if (line.problem.empty()) takeTail(std::move(tail), line);
    if (line.command) line.invocation.address = line.address;
    if (line.problem.empty() && !line.help) line.problem = runProblem(line);
    return line;
}

}  // namespace mdk::cli
