#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "batch/package_file.h"

namespace mdk {

class Catalogue;
class RunSettings;
class Clock;
class CommandRunner;
class CommandSet;
class EventLog;
class Prompter;
enum class SeemBitAction;

// What a package run needs of the phone link and of the front end that shows it.
class BatchLink {
public:
    virtual ~BatchLink() = default;
    // The test before the lines run: true when a phone link is open and its attach (the
    // command-set probe included) has finished. May block while an attach is under way.
    virtual bool linkReady() = 0;
    // Runs the body of an upload or download and returns once the body has ended. The
    // GUI runs it on a worker thread behind the wait dialog; the command line runs it
    // in place.
    virtual void runTransfer(const std::function<void()>& body) = 0;
};

// How one line of a package ended.
enum class LineOutcome {
    NotCommand,  // not a command line, or a "to" without a pending upload: skipped
    Done,
    Failed,   // the phone or the PC refused
    Refused,  // the line's text was not acceptable, or shell lines are not allowed
};

struct BatchOptions {
    // "##" lines start a shell command; the command line allows them only when asked to.
    bool allowShell = true;
    // When set (the GUI), the first shell line of a run asks once, listing every shell
    // command of the run, with No as the default; after a No each shell line is refused.
    Prompter* shellPrompter = nullptr;
};

struct BatchReport {
    bool linkFailed = false;
    int commandsRun = 0;
    // Each failed or refused line with the reason.
    std::vector<std::string> failures;
    bool succeeded() const { return !linkFailed && failures.empty(); }
};

// Runs the lines of a batch package against the phone, one after the other. Failures are
// logged and the run goes on with the next line. The file-count limit of catalogue loads
// is 3 while the lines run and is put back on every way out.
class BatchEngine {
public:
    // The longest phone path a file-system command carries: the 4096-byte payload less
    // the sub-command and the value words.
    static constexpr size_t kMaxPhonePath = 4096 - 8;
    static constexpr int32_t kRunFileCountLimit = 3;
    static constexpr uint32_t kDownloadOpenMode = 4;
    static constexpr uint32_t kDownloadPauseMs = 500;

    struct Parts {
        CommandSet& commands;
        Catalogue& catalogue;
        RunSettings& settings;
        EventLog& log;
        CommandRunner& runner;
        Clock& clock;
        BatchLink& link;
    };

    BatchEngine(Parts parts, std::string packageFolder, BatchOptions options = {});

    // The link test, then every line in order. Lines that are not commands are skipped.
    // afterLines runs once the lines have run, while the run's state is still in force
    // (the window lists its right pane again then).
    BatchReport run(const std::vector<std::string>& lines,
                    const std::function<void()>& afterLines = {});
    // One line (no link test); what the line did.
    LineOutcome runLine(const std::string& line, std::string& reason);

    // Set while the lines run: the phone pane leaves its location alone meanwhile.
    bool running() const { return running_; }
    // The value set by "at" and used by "sa".
    uint32_t attributeValue() const { return attributeValue_; }
    bool hasPendingUpload() const { return pending_.has_value(); }
    const std::string& folder() const { return folder_; }

private:
    using Handler = LineOutcome (BatchEngine::*)(const std::string&, std::string&);
    static std::optional<Handler> handlerFor(const std::string& code);
    void runLines(const std::vector<std::string>& lines, BatchReport& report);

    LineOutcome copyFromPc(const std::string& name, std::string& reason);
    LineOutcome uploadTo(const std::string& path, std::string& reason);
    LineOutcome makeFolder(const std::string& path, std::string& reason);
    LineOutcome removeFolder(const std::string& path, std::string& reason);
    LineOutcome removeFile(const std::string& path, std::string& reason);
    LineOutcome setAttributeValue(const std::string& number, std::string& reason);
    LineOutcome applyAttributes(const std::string& path, std::string& reason);
    LineOutcome runShell(const std::string& command, std::string& reason);
    LineOutcome setSeemBit(const std::string& argument, std::string& reason);
    LineOutcome resetSeemBit(const std::string& argument, std::string& reason);
    LineOutcome toggleSeemBit(const std::string& argument, std::string& reason);
    LineOutcome changeBit(const std::string& argument, SeemBitAction action, std::string& reason);
    LineOutcome saveSeem(const std::string& argument, std::string& reason);
    LineOutcome downloadFile(const std::string& path, std::string& reason);

    bool phonePathOk(const std::string& path, std::string& reason) const;
    bool shellConfirmed(const std::string& command);
    std::optional<uint32_t> catalogueSize(const std::string& path) const;

    Parts parts_;
    std::string folder_;
    BatchOptions options_;
    std::atomic<bool> running_{false};
    uint32_t attributeValue_ = 0;
    // The file read by the last "cp", consumed by the next "to".
    std::optional<std::vector<uint8_t>> pending_;
    // The shell commands of the run, and the answer to the question about them.
    std::vector<std::string> shellCommands_;
    std::optional<bool> shellAnswer_;
};

// The PC file that a "cp" name stands for, inside the package folder; nullopt when the
// name leaves the folder (an absolute path elsewhere, ".." components, a link that points
// outside).
std::optional<std::string> packageFilePath(const std::string& folder, const std::string& name);

// The question asked before the first shell line of a package.
std::string shellQuestion(const std::vector<std::string>& commands);

// The argument of a "ds" line, "ssss rrrr": exactly four hexadecimal digits for each.
std::optional<std::pair<std::string, std::string>> parseSeemSaveArgument(
    const std::string& argument);

}  // namespace mdk
