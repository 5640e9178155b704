// marrowdeck-cli: the phone's files and seems from the command line, on the same core as
// the GUI.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/commands.h"
#include "cli/phone_address.h"
#include "cli/session.h"

namespace {

using mdk::cli::Command;
using mdk::cli::commandTable;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int usage(const char* problem) {
    if (problem) std::fprintf(stderr, "marrowdeck-cli: %s\n", problem);
    std::fprintf(
        stderr,
        "usage: marrowdeck-cli [--phone ADDRESS] [--log] [--trace] [--verify] COMMAND [ARGS]\n"
        "  ADDRESS: sim, unix:PATH, tcp:HOST:PORT, usb (default), usblan:HOST[:PORT],"
        " auto\n  --verify: read every upload back and compare it, check every"
        " download's size\n  against the phone's listing (backup --verify checks a"
        " backup instead)\n  options may also follow the command; -- ends them\n"
        "commands:\n");
    for (const Command& c : commandTable()) {
        std::fprintf(stderr, "  %-9s %-22s %s\n", c.name, c.arguments, c.help);
    }
    return kExitUsage;
}

std::string programFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

// The command line: global options anywhere (before or after the command), the rest in
// order; after the command word, other options are the command's own.
struct CommandLine {
    std::string address = "usb";
    bool showLog = false;
    bool trace = false;
    bool verify = false;  // checked transfers
    bool help = false;
    std::vector<std::string> words;  // the command and its arguments
};

// Reads the options; the text of a usage problem, or empty.
std::string parseCommandLine(int argc, char** argv, CommandLine& line) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            line.words.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--phone") {
            if (i + 1 >= argc) return "missing value for --phone";
            line.address = argv[++i];
        } else if (arg.rfind("--phone=", 0) == 0) {
            line.address = arg.substr(8);
        } else if (arg == "--log") {
            line.showLog = true;
        } else if (arg == "--trace") {
            line.trace = true;
        } else if (arg == "--verify" && (line.words.empty() || line.words[0] != "backup")) {
            // backup has a --verify of its own: it checks a backup folder.
            line.verify = true;
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (!line.words.empty()) {
            // Not a global option: one of the command's own (run --allow-shell, ...).
            line.words.push_back(arg);
        } else {
            return "unknown option " + arg;
        }
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    const std::string problem = parseCommandLine(argc, argv, line);
    if (!problem.empty()) return usage(problem.c_str());
    if (line.help) {
        usage(nullptr);
        return 0;
    }
    if (line.words.empty()) return usage("no command given");
    if (auto bad = mdk::cli::addressProblem(line.address)) return usage(bad->c_str());
    const std::string name = line.words[0];
    const std::vector<std::string> args(line.words.begin() + 1, line.words.end());
    const Command* command = nullptr;
    for (const Command& c : commandTable()) {
        if (name == c.name) command = &c;
    }
    if (!command) return usage(("unknown command " + name).c_str());
    if (args.size() < command->minArgs || args.size() > command->maxArgs) {
        return usage(("wrong number of arguments for " + name).c_str());
    }
    int status = 0;
    try {
        mdk::cli::Session session(programFolder(), line.showLog, line.trace);
        session.setVerifyTransfers(line.verify);
        if (command->connectsFirst) {
            session.connect(line.address);
        } else {
            session.deferConnect(line.address);
        }
        try {
            command->run(session, args);
        } catch (const mdk::cli::CommandError&) {
            session.checkAnswering();  // a silent phone is the reason, whatever failed
            throw;
        }
        session.checkAnswering();
        session.view().finishProgress();
        status = session.exitCode();
    } catch (const mdk::cli::UsageError& e) {
        return usage(e.message.c_str());
    } catch (const mdk::cli::CommandError& e) {
        std::fprintf(stderr, "ERROR: %s\n", e.message.c_str());
        return e.exitCode;
    } catch (const std::exception& e) {
        // A PC-side failure (out of memory, a file-system error): one line, never a crash.
        std::fprintf(stderr, "ERROR: %s\n", e.what());
        return kExitFailure;
    }
    return status;
}
