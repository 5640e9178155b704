#include "cli/completion.h"

#include <cstring>

#include "cli/command_line.h"

namespace mdk::cli {
namespace {

// How a value or operand completes, by its name in the usage.
struct ValueKind {
    const char* name;
    const char* words;  // "" for a local path, "/" for a local folder
};

constexpr ValueKind kValueKinds[] = {
    {"PC_PATH", ""},
    {"FILE", ""},
    {"CSV", ""},
    {"DIR", "/"},
    {"ADDRESS", "sim usb auto unix: tcp: usblan:"},
    {"SHELL", "bash zsh"},
    {"ACTION", "get set clear toggle"},
};

// The kind of a value named name; nullptr for one that does not complete (a phone path, a
// number).
const ValueKind* kindOf(const char* name) {
    for (const ValueKind& kind : kValueKinds) {
        if (name && std::strcmp(kind.name, name) == 0) return &kind;
    }
    return nullptr;
}

std::string join(const std::vector<Option>& options) {
    std::string text;
    for (const Option& option : options)
        text += (text.empty() ? "" : " ") + std::string(option.name);
    return text;
}

// ---- bash ---------------------------------------------------------------------------------

// One word per operand for the script: file, dir, words:W1,W2 or none.
std::string bashKind(const char* name) {
    const ValueKind* kind = kindOf(name);
    if (!kind) return "none";
    if (kind->words[0] == '\0') return "file";
    if (std::strcmp(kind->words, "/") == 0) return "dir";
    std::string words = kind->words;
    for (char& c : words) {
        if (c == ' ') c = ',';
    }
    return "words:" + words;
}

std::string bashValueCases() {
    std::string text;
    std::vector<Option> all = globalOptions();
    for (const Command& command : commandTable()) {
        all.insert(all.end(), command.options.begin(), command.options.end());
    }
    for (const Option& option : all) {
        if (option.value)
            text += std::string("        ") + option.name + ") echo " + bashKind(option.value) +
                    " ;;\n";
    }
    return text;
}

std::string bashCommandCases() {
    std::string text;
    for (const Command& command : commandTable()) {
        std::string operands;
        for (const Operand& operand : command.operands) operands += " " + bashKind(operand.name);
        text += std::string("        ") + command.name + ") options=\"" + join(command.options) +
                "\"; operands=\"" + operands.substr(operands.empty() ? 0 : 1) + "\" ;;\n";
    }
    return text;
}

std::string bashScript() {
    std::string names;
    for (const Command& command : commandTable()) names += std::string(" ") + command.name;
    return R"(# bash completion for marrowdeck-cli                       -*- shell-script -*-
# Made from the tool's command table by marrowdeck-cli --completion bash.

# The kind of value an option takes: file, dir, words:A,B or none (a flag: no value).
_marrowdeck_cli_value() {
    case $1 in
)" + bashValueCases() +
           R"(        *) echo flag ;;
    esac
}

# Completes the current word as a value of kind $1.
_marrowdeck_cli_complete() {
    local cur=$2
    local words=${1#words:}
    case $1 in
        file) compopt -o filenames 2>/dev/null || true
            COMPREPLY=($(compgen -f -- "$cur")) ;;
        dir) compopt -o filenames 2>/dev/null || true
            COMPREPLY=($(compgen -d -- "$cur")) ;;
        words:*) COMPREPLY=($(compgen -W "${words//,/ }" -- "$cur"))
            if [[ ${COMPREPLY[0]-} == *: ]]; then compopt -o nospace 2>/dev/null || true; fi ;;
        *) COMPREPLY=() ;;
    esac
}

_marrowdeck_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} command= count=0 ended= i kind
    local global=")" +
           join(globalOptions()) + R"( -h"
    local options= operands=
    COMPREPLY=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        local word=${COMP_WORDS[i]}
        if [[ -z $ended && $word == -- ]]; then
            ended=1
        elif [[ -z $ended && $word == -?* ]]; then
            kind=$(_marrowdeck_cli_value "$word")
            [[ $kind != flag && $word != *=* ]] && i=$((i + 1))
        elif [[ -z $command ]]; then
            command=$word
        else
            count=$((count + 1))
        fi
    done
    case $command in
)" + bashCommandCases() +
           R"(    esac
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    if ((COMP_CWORD > 1)) && [[ -z $ended && $prev == -?* ]]; then
        kind=$(_marrowdeck_cli_value "$prev")
        if [[ $kind != flag ]]; then
            _marrowdeck_cli_complete "$kind" "$cur"
            return
        fi
    fi
    if [[ -z $ended && $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$global $options" -- "$cur"))
    elif [[ -z $command ]]; then
        COMPREPLY=($(compgen -W ")" +
           names.substr(1) + R"(" -- "$cur"))
    else
        local kinds=($operands)
        _marrowdeck_cli_complete "${kinds[count]:-none}" "$cur"
    fi
}
complete -F _marrowdeck_cli marrowdeck-cli
)";
}

// ---- zsh ----------------------------------------------------------------------------------

// A help text inside a quoted _arguments item: one line, its closing brackets and quotes
// escaped.
std::string zshText(const char* help) {
    std::string text;
    for (const char* p = help; *p; ++p) {
        if (*p == '\n') {
            text += ' ';
        } else if (*p == '\'') {
            text += "'\\''";
        } else if (*p == ']') {
            text += std::string("\\") + *p;
        } else {
            text += *p;
        }
    }
    return text;
}

std::string zshAction(const char* name) {
    const ValueKind* kind = kindOf(name);
    if (!kind) return " ";
    if (kind->words[0] == '\0') return "_files";
    if (std::strcmp(kind->words, "/") == 0) return "_files -/";
    std::string action = "(";
    for (const char* p = kind->words; *p; ++p)
        action += *p == ':' ? std::string("\\:") : std::string(1, *p);
    return action + ")";
}

std::string zshOptions(const std::vector<Option>& options) {
    std::string text;
    for (const Option& option : options) {
        text += std::string("    '") + option.name + "[" + zshText(option.help) + "]";
        if (option.value) text += std::string(":") + option.value + ":" + zshAction(option.value);
        text += "'\n";
    }
    return text;
}

std::string zshCommandCases() {
    std::string text;
    for (const Command& command : commandTable()) {
        text +=
            std::string("            ") + command.name + ")\n                _arguments $global";
        for (const Option& option : command.options) {
            text += std::string(" '") + option.name + "[" + zshText(option.help) + "]";
            if (option.value)
                text += std::string(":") + option.value + ":" + zshAction(option.value);
            text += "'";
        }
        int position = 1;
        for (const Operand& operand : command.operands) {
            text += " '" + std::to_string(position++) + (operand.required ? ":" : "::") +
                    operand.name + ":" + zshAction(operand.name) + "'";
        }
        text += " && ret=0 ;;\n";
    }
    return text;
}

std::string zshScript() {
    std::string commands;
    for (const Command& command : commandTable()) {
        commands += std::string("    '") + command.name + ":" + zshText(command.help) + "'\n";
    }
    return R"(#compdef marrowdeck-cli
# zsh completion for marrowdeck-cli, made from the tool's command table by
# marrowdeck-cli --completion zsh.

_marrowdeck_cli() {
    local curcontext=$curcontext state line ret=1
    local -a global commands
    global=(
)" + zshOptions(globalOptions()) +
           R"(    '-h[show this help]'
    )
    commands=(
)" + commands +
           R"(    )
    _arguments -C -S $global '1:command:->command' '*::operand:->operands' && ret=0
    case $state in
        command)
            _describe -t commands 'marrowdeck-cli command' commands && ret=0 ;;
        operands)
            curcontext=${curcontext%:*:*}:marrowdeck-cli-$words[1]:
            case $words[1] in
)" + zshCommandCases() +
           R"(            esac ;;
    esac
    return ret
}

_marrowdeck_cli "$@"
)";
}

}  // namespace

std::string completionScript(const std::string& shell) {
    return shell == "zsh" ? zshScript() : bashScript();
}

}  // namespace mdk::cli
