// marrowdeck-cli: the phone's files and seems from the command line, on the same core as
// the GUI.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "cli/command_line.h"
#include "cli/completion.h"
#include "cli/session.h"

namespace {

using mdk::cli::CommandLine;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// One "ERROR:" line, then the usage of the command the line named (or the tool's).
int usageError(const std::string& problem, const CommandLine& line) {
    std::fprintf(stderr, "ERROR: %s\n", problem.c_str());
    const std::string usage =
        line.command ? mdk::cli::commandUsage(*line.command) : mdk::cli::programUsage();
    std::fputs(usage.c_str(), stderr);
    return kExitUsage;
}

std::string programFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

// Help, the version or a completion script: what the line asks for instead of a command.
bool printInformation(const CommandLine& line) {
    std::string text;
    if (line.help) {
        text = line.command ? mdk::cli::commandUsage(*line.command) : mdk::cli::programUsage();
    } else if (line.version) {
        text = "marrowdeck-cli " MDK_VERSION "\n";
    } else if (!line.completion.empty()) {
        text = mdk::cli::completionScript(line.completion);
    } else {
        return false;
    }
    std::fputs(text.c_str(), stdout);
    return true;
}

int runCommand(const CommandLine& line) {
    mdk::cli::Session session(programFolder(), line.showLog, line.trace);
    session.setVerifyTransfers(line.verifyTransfers);
    if (line.command->connectsFirst) {
        session.connect(line.address);
    } else {
        session.deferConnect(line.address);
    }
    try {
        line.command->run(session, line.invocation);
    } catch (const mdk::cli::CommandError&) {
        session.checkAnswering();  // a silent phone is the reason, whatever failed
        throw;
    }
    session.checkAnswering();
    session.view().finishProgress();
    return session.exitCode();
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine line = mdk::cli::parseCommandLine(argc, argv);
    if (!line.problem.empty()) return usageError(line.problem, line);
    if (printInformation(line)) return 0;
    try {
        return runCommand(line);
    } catch (const mdk::cli::UsageError& e) {
        return usageError(e.message, line);
    } catch (const mdk::cli::CommandError& e) {
        std::fprintf(stderr, "ERROR: %s\n", e.message.c_str());
        return e.exitCode;
    } catch (const std::exception& e) {
        // A PC-side failure (out of memory, a file-system error): one line, never a crash.
        std::fprintf(stderr, "ERROR: %s\n", e.what());
        return kExitFailure;
    }
}
