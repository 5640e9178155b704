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
#include "cli/session.h"

namespace {

using mdk::cli::Command;
using mdk::cli::commandTable;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int usage(const char* problem) {
    if (problem) std::fprintf(stderr, "marrowdeck-cli: %s\n", problem);
    std::fprintf(stderr,
                 "usage: marrowdeck-cli [--phone ADDRESS] [--log] [--trace] COMMAND [ARGS]\n"
                 "  ADDRESS: sim, unix:PATH, tcp:HOST:PORT, usb (default), usblan:HOST[:PORT],"
                 " auto\ncommands:\n");
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

}  // namespace

int main(int argc, char** argv) {
    std::string address = "usb";
    bool showLog = false;
    bool trace = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string flag = argv[i];
        if (flag == "--phone" && i + 1 < argc) {
            address = argv[++i];
        } else if (flag == "--log") {
            showLog = true;
        } else if (flag == "--trace") {
            trace = true;
        } else if (flag == "--help" || flag == "-h") {
            usage(nullptr);
            return 0;
        } else {
            return usage(("unknown option " + flag).c_str());
        }
    }
    if (i >= argc) return usage("no command given");
    const std::string name = argv[i++];
    const std::vector<std::string> args(argv + i, argv + argc);
    const Command* command = nullptr;
    for (const Command& c : commandTable()) {
        if (name == c.name) command = &c;
    }
    if (!command) return usage(("unknown command " + name).c_str());
    if (args.size() < command->minArgs || args.size() > command->maxArgs) {
        return usage(("wrong number of arguments for " + name).c_str());
    }
    try {
        mdk::cli::Session session(programFolder(), showLog, trace);
        session.connect(address);
        command->run(session, args);
        session.view().finishProgress();
    } catch (const mdk::cli::CommandError& e) {
        std::fprintf(stderr, "ERROR: %s\n", e.message.c_str());
        return kExitFailure;
    } catch (const std::exception& e) {
        // A PC-side failure (out of memory, a file-system error): one line, never a crash.
        std::fprintf(stderr, "ERROR: %s\n", e.what());
        return kExitFailure;
    }
    return 0;
}
