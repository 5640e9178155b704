#include "batch/batch_engine.h"

#include <charconv>
#include <exception>
#include <filesystem>
#include <limits>

#include "base/clock.h"
#include "base/event_log.h"
#include "base/hex_text.h"
#include "base/prompter.h"
#include "base/visible_text.h"
#include "config/run_settings.h"
#include "p2k/catalogue.h"
#include "p2k/command_set.h"
#include "p2k/file_transfer.h"
#include "p2k/transport.h"
#include "platform/process_runner.h"
#include "platform/safe_file.h"
#include "seem/seem_bit.h"
#include "seem/seem_transfer.h"

namespace mdk {
namespace {

namespace fs = std::filesystem;

constexpr int kMsgDeleting = 33;
constexpr uint32_t kFolderValue = 4;
// Read until the phone's short block when the catalogue does not know the file's size.
constexpr uint32_t kUnknownSize = std::numeric_limits<uint32_t>::max();

// Lowers the file-count limit for the run and puts the kept value back on every way out.
class FileCountLimitScope {
public:
    FileCountLimitScope(RunSettings& settings, int32_t runValue)
        : settings_(settings), kept_(settings.change([runValue](RunValues& values) {
              return std::exchange(values.fileCountLimit, runValue);
          })) {}
    ~FileCountLimitScope() {
        settings_.change([this](RunValues& values) { values.fileCountLimit = kept_; });
    }
    FileCountLimitScope(const FileCountLimitScope&) = delete;
    FileCountLimitScope& operator=(const FileCountLimitScope&) = delete;

private:
    RunSettings& settings_;
    int32_t kept_;
};

class RunningFlag {
public:
    explicit RunningFlag(std::atomic<bool>& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    std::atomic<bool>& flag_;
};

bool isInside(const fs::path& folder, const fs::path& path) {
    const fs::path relative = path.lexically_relative(folder);
    if (relative.empty()) return false;
    const auto first = *relative.begin();
    return first != ".." && first != ".";
}

std::string trimTrailingBlanks(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    return text;
}

std::optional<uint16_t> fixedHexField(const std::string& text, size_t start) {
    if (text.size() < start + 4) return std::nullopt;
    auto value = parseHex(std::string_view(text).substr(start, 4), 4);
    if (!value) return std::nullopt;
    return static_cast<uint16_t>(*value);
}

}  // namespace

std::optional<std::string> packageFilePath(const std::string& folder, const std::string& name) {
    if (name.empty()) return std::nullopt;
    const fs::path base = fs::path(folder).lexically_normal();
    const fs::path joined = (base / name).lexically_normal();
    if (!isInside(base, joined)) return std::nullopt;
    // A link inside the folder that points elsewhere leaves it as well.
    std::error_code ec;
    const fs::path realBase = fs::weakly_canonical(base, ec);
    if (ec) return std::nullopt;
    const fs::path realPath = fs::weakly_canonical(joined, ec);
    if (ec || !isInside(realBase, realPath)) return std::nullopt;
    return joined.string();
}

std::optional<std::pair<std::string, std::string>> parseSeemSaveArgument(
    const std::string& argument) {
    const std::string text = trimTrailingBlanks(argument);
    if (text.size() != 9 || !fixedHexField(text, 0) || !fixedHexField(text, 5)) {
        return std::nullopt;
    }
    return std::make_pair(text.substr(0, 4), text.substr(5, 4));
}

BatchEngine::BatchEngine(Parts parts, std::string packageFolder, BatchOptions options)
    : parts_(parts), folder_(std::move(packageFolder)), options_(options) {}

std::optional<BatchEngine::Handler> BatchEngine::handlerFor(const std::string& code) {
    static const std::pair<const char*, Handler> kHandlers[] = {
        {"cp", &BatchEngine::copyFromPc},      {"to", &BatchEngine::uploadTo},
        {"md", &BatchEngine::makeFolder},      {"rd", &BatchEngine::removeFolder},
        {"rm", &BatchEngine::removeFile},      {"at", &BatchEngine::setAttributeValue},
        {"sa", &BatchEngine::applyAttributes}, {"##", &BatchEngine::runShell},
        {"ss", &BatchEngine::setSeemBit},      {"rs", &BatchEngine::resetSeemBit},
        {"ts", &BatchEngine::toggleSeemBit},   {"ds", &BatchEngine::saveSeem},
        {"df", &BatchEngine::downloadFile},
    };
    for (const auto& [name, handler] : kHandlers) {
        if (code == name) return handler;
    }
    return std::nullopt;
}

BatchReport BatchEngine::run(const std::vector<std::string>& lines,
                             const std::function<void()>& afterLines) {
    BatchReport report;
    RunningFlag running(running_);
    shellAnswer_.reset();
    shellCommands_.clear();
    for (const auto& line : lines) {
        auto command = parsePackageCommand(line);
        if (command && command->code == "##") shellCommands_.push_back(command->argument);
    }
    FileCountLimitScope limit(parts_.settings, kRunFileCountLimit);
    if (parts_.link.linkReady()) {
        runLines(lines, report);
    } else {
        parts_.log.logLine("Package not run: the phone is not connected.");
        report.linkFailed = true;
    }
    pending_.reset();
    if (afterLines) afterLines();
    return report;
}

void BatchEngine::runLines(const std::vector<std::string>& lines, BatchReport& report) {
    for (const auto& line : lines) {
        std::string reason;
        const LineOutcome outcome = runLine(line, reason);
        if (outcome == LineOutcome::NotCommand) continue;
        ++report.commandsRun;
        if (outcome == LineOutcome::Done) continue;
        const std::string what = outcome == LineOutcome::Refused ? "Refused" : "Failed";
        parts_.log.logLine(what + " (" + reason + "): " + line);
        report.failures.push_back(line + ": " + reason);
    }
}

LineOutcome BatchEngine::runLine(const std::string& line, std::string& reason) {
    auto command = parsePackageCommand(line);
    if (!command) return LineOutcome::NotCommand;
    auto handler = handlerFor(command->code);
    if (!handler) return LineOutcome::NotCommand;
    try {
        return (this->**handler)(command->argument, reason);
    } catch (const std::exception& e) {
        // A PC-side failure (memory, file system) ends this line only.
        reason = e.what();
        return LineOutcome::Failed;
    }
}

bool BatchEngine::phonePathOk(const std::string& path, std::string& reason) const {
    if (path.empty()) {
        reason = "no phone path";
        return false;
    }
    if (path.size() > kMaxPhonePath) {
        reason = "phone path longer than " + std::to_string(kMaxPhonePath) + " bytes";
        return false;
    }
    return true;
}

std::optional<uint32_t> BatchEngine::catalogueSize(const std::string& path) const {
    for (const auto& record : parts_.catalogue.records()) {
        if (record.path == path) return record.size;
    }
    return std::nullopt;
}

// ---- uploads ---------------------------------------------------------------------------

LineOutcome BatchEngine::copyFromPc(const std::string& name, std::string& reason) {
    pending_.reset();
    auto path = packageFilePath(folder_, name);
    if (!path) {
        reason = "PC file outside the package folder";
        return LineOutcome::Refused;
    }
    parts_.log.logLine(*path);
    // Read inside the package folder: a link in it is refused, never followed.
    const std::string inside =
        fs::path(*path).lexically_relative(fs::path(folder_).lexically_normal()).string();
    auto data = AnchoredFolder(folder_, false).readFile(inside, reason);
    if (!data) return LineOutcome::Failed;
    pending_ = std::move(*data);
    return LineOutcome::Done;
}

LineOutcome BatchEngine::uploadTo(const std::string& path, std::string& reason) {
    if (!pending_) return LineOutcome::NotCommand;  // no "cp" before it: skipped
    std::vector<uint8_t> data = std::move(*pending_);
    pending_.reset();
    if (!phonePathOk(path, reason)) return LineOutcome::Refused;
    parts_.log.logLine(path);
    int result = -1;
    parts_.link.runTransfer(
        [&] { result = uploadPhoneFile(parts_.commands, path, std::span<const uint8_t>(data)); });
    parts_.catalogue.refreshPhoneStatus();
    if (result != 0) {
        reason = "upload failed";
        return LineOutcome::Failed;
    }
    // An overwritten file keeps one record, with its new size.
    parts_.catalogue.markCatalogueRecord(path);
    parts_.catalogue.appendCatalogueRecord(path, static_cast<uint32_t>(data.size()),
                                           kUploadedAttributeWord);
    return LineOutcome::Done;
}

// ---- folders, files, attributes ---------------------------------------------------------

LineOutcome BatchEngine::makeFolder(const std::string& path, std::string& reason) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!phonePathOk(folder + "/" + kFolderPlaceholderName, reason)) return LineOutcome::Refused;
    parts_.log.logLine(folder);
    auto marker = createPhoneFolder(parts_.commands, folder);
    parts_.catalogue.refreshPhoneStatus();
    if (!marker) {
        reason = "the phone refused the folder";
        return LineOutcome::Failed;
    }
    parts_.catalogue.appendCatalogueRecord(*marker, 1, kUploadedAttributeWord);
    return LineOutcome::Done;
}

LineOutcome BatchEngine::removeFolder(const std::string& path, std::string& reason) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!phonePathOk(folder + "/" + kFolderPlaceholderName, reason)) return LineOutcome::Refused;
    parts_.log.logMessage(kMsgDeleting, folder);
    int result = -1;
    {
        PhoneSession session(parts_.commands.transport());
        // The marker file that "md" leaves in a new folder goes with it (absent: refused).
        parts_.commands.phoneDeleteFile(folder + "/" + kFolderPlaceholderName);
        result = parts_.commands.phoneRemoveFolder(folder, kFolderValue);
    }
    if (result == 0) parts_.catalogue.markCatalogueRecord(folder);
    parts_.catalogue.refreshPhoneStatus();
    if (result != 0) reason = "the phone refused to remove the folder";
    return result == 0 ? LineOutcome::Done : LineOutcome::Failed;
}

LineOutcome BatchEngine::removeFile(const std::string& path, std::string& reason) {
    if (!phonePathOk(path, reason)) return LineOutcome::Refused;
    parts_.log.logMessage(kMsgDeleting, path);
    const int result = parts_.commands.phoneDeleteFile(path);
    if (result == 0) parts_.catalogue.markCatalogueRecord(path);
    parts_.catalogue.refreshPhoneStatus();
    if (result != 0) reason = "the phone refused to delete the file";
    return result == 0 ? LineOutcome::Done : LineOutcome::Failed;
}

LineOutcome BatchEngine::setAttributeValue(const std::string& number, std::string& reason) {
    const std::string text = trimTrailingBlanks(number);
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value, 10);
    if (text.empty() || error != std::errc() || stop != end) {
        reason = "not a decimal number from 0 to 4294967295";
        return LineOutcome::Refused;
    }
    attributeValue_ = value;
    return LineOutcome::Done;
}

LineOutcome BatchEngine::applyAttributes(const std::string& path, std::string& reason) {
    if (!phonePathOk(path, reason)) return LineOutcome::Refused;
    int result = -1;
    {
        PhoneSession session(parts_.commands.transport());
        result = parts_.commands.phoneOpenFile(path, attributeValue_);
        if (result == 0) result = parts_.commands.phoneCloseFile();
    }
    if (result == 0) {
        // The record keeps its own word with the new attribute byte.
        for (const auto& record : parts_.catalogue.records()) {
            if (record.path != path) continue;
            parts_.catalogue.setCatalogueAttributes(
                path, static_cast<uint8_t>(attributeValue_ & 0xFF), record.attributeWord);
            break;
        }
    }
    parts_.catalogue.refreshPhoneStatus();
    if (result != 0) reason = "the phone refused the attributes";
    return result == 0 ? LineOutcome::Done : LineOutcome::Failed;
}

// ---- shell -------------------------------------------------------------------------------

LineOutcome BatchEngine::runShell(const std::string& command, std::string& reason) {
    if (!options_.allowShell) {
        reason = "shell lines are not allowed";
        return LineOutcome::Refused;
    }
    if (!shellConfirmed(command)) {
        reason = "the shell commands were not confirmed";
        return LineOutcome::Refused;
    }
    if (parts_.runner.start(command, folder_) < 0) {
        reason = "the command could not be started";
        return LineOutcome::Failed;
    }
    return LineOutcome::Done;
}

bool BatchEngine::shellConfirmed(const std::string& command) {
    if (!options_.shellPrompter) return true;
    if (!shellAnswer_) {
        const auto& commands = shellCommands_.empty() ? std::vector{command} : shellCommands_;
        Prompt prompt{"Marrowdeck", shellQuestion(commands), PromptButtons::YesNo,
                      PromptIcon::Warning};
        prompt.defaultNo = true;
        shellAnswer_ = options_.shellPrompter->ask(prompt) == PromptAnswer::Yes;
    }
    return *shellAnswer_;
}

std::string shellQuestion(const std::vector<std::string>& commands) {
    std::string text = "This package runs " + std::to_string(commands.size()) + " shell command" +
                       (commands.size() == 1 ? "" : "s") + ":\n";
    for (const auto& command : commands) text += "\n" + visibleText(command);
    return text + "\n\nRun them?";
}

// ---- seems -------------------------------------------------------------------------------

LineOutcome BatchEngine::changeBit(const std::string& argument, SeemBitAction action,
                                   std::string& reason) {
    SeemBitResult result;
    auto address = parseSeemBitArgument(trimTrailingBlanks(argument), result);
    if (!address) {
        reason = result.detail;
        return LineOutcome::Refused;
    }
    // The record's first offset + 1 bytes are read, changed and written back; an offset
    // beyond the record changes nothing.
    result = changeSeemBit(parts_.commands, *address, action);
    if (result.ok()) return LineOutcome::Done;
    reason = result.detail;
    return result.status == SeemBitStatus::OffsetBeyondRecord ? LineOutcome::Refused
                                                              : LineOutcome::Failed;
}

LineOutcome BatchEngine::setSeemBit(const std::string& argument, std::string& reason) {
    return changeBit(argument, SeemBitAction::Set, reason);
}

LineOutcome BatchEngine::resetSeemBit(const std::string& argument, std::string& reason) {
    return changeBit(argument, SeemBitAction::Clear, reason);
}

LineOutcome BatchEngine::toggleSeemBit(const std::string& argument, std::string& reason) {
    return changeBit(argument, SeemBitAction::Toggle, reason);
}

LineOutcome BatchEngine::saveSeem(const std::string& argument, std::string& reason) {
    auto numbers = parseSeemSaveArgument(argument);
    if (!numbers) {
        reason = "not a seem record (want ssss rrrr, four hexadecimal digits each)";
        return LineOutcome::Refused;
    }
    const auto seem = static_cast<uint16_t>(*parseHex(numbers->first));
    const auto record = static_cast<uint16_t>(*parseHex(numbers->second));
    auto data = readSeemRecord(parts_.commands, seem, record);
    if (!data) {
        reason = "the phone refused the seem";
        return LineOutcome::Failed;
    }
    const std::string path = folder_ + "/" + numbers->first + "_" + numbers->second + ".seem";
    if (!writeFileSafely(path, *data, ExistingFile::Replace, reason)) return LineOutcome::Failed;
    return LineOutcome::Done;
}

// ---- downloads ---------------------------------------------------------------------------

LineOutcome BatchEngine::downloadFile(const std::string& path, std::string& reason) {
    if (!phonePathOk(path, reason)) return LineOutcome::Refused;
    const std::string name = path.substr(path.rfind('/') + 1);
    if (name.empty() || name == "." || name == "..") {
        reason = "no file name after the last \"/\"";
        return LineOutcome::Refused;
    }
    const std::optional<uint32_t> listed = catalogueSize(path);
    // A file the list does not know is read until the phone's file ends.
    const PhoneDownload file{path, kDownloadOpenMode, listed.value_or(kUnknownSize), !listed};
    parts_.clock.sleepMs(kDownloadPauseMs);
    // The file goes to a temporary name first: a failure keeps an existing file.
    PendingFile pending;
    std::optional<uint64_t> received;
    parts_.link.runTransfer([&] {
        received =
            downloadIntoPendingFile(parts_.commands, file, folder_ + "/" + name, pending, reason);
    });
    if (!received) {
        reason = "download failed: " + reason;
        return LineOutcome::Failed;
    }
    if (*received == 0) {
        reason = "nothing was read";
        return LineOutcome::Failed;
    }
    return pending.commit(ExistingFile::Replace, reason) ? LineOutcome::Done : LineOutcome::Failed;
}

}  // namespace mdk
