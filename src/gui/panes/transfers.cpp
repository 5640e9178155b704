#include "gui/panes/transfers.h"

#include <filesystem>
#include <memory>

#include "app/app_context.h"
#include "gui/dialogs/name_dialogs.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/pane_host.h"
#include "gui/panes/worker_runner.h"
#include "p2k/file_transfer.h"
#include "p2k/transfer_watch.h"
#include "p2k/transport.h"
#include "panes/pane_rows.h"
#include "panes/pc_listing.h"
#include "panes/pc_panes.h"
#include "panes/phone_rows.h"
#include "panes/phone_source.h"
#include "platform/safe_file.h"
#include "seem/seem_file.h"
#include "seem/seem_transfer.h"

namespace mdk {

namespace {

constexpr const char* kCommand = "Copy";
constexpr const char* kSourceListName = "SOURCEFILES";

bool isParentRow(const PaneRow& row) {
    return row.kind == RowKind::Parent;
}

std::string parentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string lastComponent(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

Transfers::Transfers(AppContext& context, PaneHost& host, WorkerRunner& workers, PhoneSource& phone)
    : context_(context), host_(host), workers_(workers), phone_(phone) {
    askTarget_ = [this](const std::string& name, const std::string& proposed) {
        return CopyTargetDialog::ask(&host_.hostWindow(), name, proposed);
    };
}

int Transfers::nextSelectedRow(int start) {
    const Side side = context_.panes.active();
    const auto& rows = context_.panes.rows(side);
    for (int row : host_.pane(side).selectedRows()) {
        if (row <= start || static_cast<size_t>(row) >= rows.size()) continue;
        currentRow_ = row;
        context_.panes.focusIndex[static_cast<size_t>(sideIndex(side))] = row;
        selectionIsFolder_ = rows[static_cast<size_t>(row)].isFolder();
        return row;
    }
    return -1;
}

std::vector<PaneRow> Transfers::selectedRows() {
    // The rows are copied first: listings made on the way replace the pane's rows.
    std::vector<PaneRow> out;
    const auto& rows = context_.panes.rows(context_.panes.active());
    for (int row = nextSelectedRow(-1); row >= 0; row = nextSelectedRow(row)) {
        const PaneRow& chosen = rows[static_cast<size_t>(row)];
        if (!isParentRow(chosen)) out.push_back(chosen);
    }
    return out;
}

void Transfers::copy() {
    const Side source = context_.panes.active();
    const Side destination = otherSide(source);
    const CopyPlan plan =
        planCopy(context_.panes.kind(source), context_.panes.kind(destination), source);
    if (plan.copyCase != CopyCase::PcToPc && workers_.refuseIfBusy(kCommand)) return;
    if (plan.message) context_.log.logMessage(*plan.message);
    if (plan.copyCase == CopyCase::PhoneToPhone) return;
    if (!plan.runnable) {
        context_.log.logLine("Copy: these rows cannot be copied to the other pane.");
        return;
    }
    const std::vector<PaneRow> rows = selectedRows();
    const std::string sourceFolder = context_.panes.pcPath(source);
    const std::string pcTarget = context_.panes.pcPath(destination);
    switch (plan.copyCase) {
        case CopyCase::PcToPc:
            copyPcRows(source, destination, rows);
            return;
        case CopyCase::Download:
            beginWatch(plan.copyCase, source, rows, {});
            for (const PaneRow& row : rows) {
                if (!downloadRow(source, row, pcTarget) || cancelled()) break;
            }
            logCancel();
            host_.pane(destination).relist();
            return;
        case CopyCase::Upload: {
            // Each PC folder is listed once, for the progress total and for its upload.
            FolderListings listings;
            for (const PaneRow& row : rows) {
                const std::string path = childPath(sourceFolder, row.name);
                if (row.isFolder()) listings[path] = walkPcFolder(path);
            }
            beginWatch(plan.copyCase, source, rows, listings);
            for (const PaneRow& row : rows) {
                const std::string path = childPath(sourceFolder, row.name);
                const bool sent = row.isFolder() ? uploadFolder(destination, path, listings[path])
                                                 : uploadRow(destination, path, false, true);
                if (!sent || cancelled()) break;
            }
            logCancel();
            // Folder uploads leave the catalogue alone: the volume is read again (behind
            // the wait dialog) so the pane shows the new files.
            if (!listings.empty()) context_.catalogue.setCatalogueLoaded(false);
            phone_.showPhoneFolder(destination);
            host_.pane(destination).sortRenumberFocus();
            return;
        }
        case CopyCase::SeemDownload:
            for (const PaneRow& row : rows) downloadSeemRow(row.name, pcTarget);
            host_.pane(destination).relist();
            return;
        case CopyCase::SeemUpload:
            for (const PaneRow& row : rows) {
                if (!row.isFolder()) uploadSeemFile(sourceFolder, row.name);
            }
            return;
        case CopyCase::PhoneToPhone:
            return;
    }
}

// ---- PC to PC ---------------------------------------------------------------------------

void Transfers::copyPcRows(Side source, Side destination, const std::vector<PaneRow>& rows) {
    const std::string sourceFolder = context_.panes.pcPath(source);
    const std::string targetFolder = context_.panes.pcPath(destination);
    // A "Yes to all" or "No to all" answers the overwrite question for the rows that follow.
    std::optional<bool> overwriteAll;
    const bool severalRows = rows.size() > 1;
    for (const PaneRow& row : rows) {
        copyPcRow(sourceFolder, targetFolder, row, severalRows, overwriteAll);
    }
    host_.pcPanes().listPcFolder(destination);
    host_.pane(destination).sortRenumberFocus();
    // The source list gets the focus back.
    host_.pane(source).focusRow(context_.panes.focusIndex[static_cast<size_t>(sideIndex(source))]);
}

void Transfers::copyPcRow(const std::string& sourceFolder, const std::string& targetFolder,
                          const PaneRow& row, bool severalRows, std::optional<bool>& overwriteAll) {
    if (row.isFolder()) {
        context_.log.logLine("Folders are not copied: " + row.name);
        return;
    }
    const auto target = askTarget_(row.name, childPath(targetFolder, row.name));
    if (!target) return;  // Cancel cancels this copy
    const std::string from = childPath(sourceFolder, row.name);
    CopyResult result = copyPcFile(from, *target, false);
    if (result == CopyResult::TargetExists) {
        if (!overwriteAll) {
            const PromptAnswer answer = context_.prompter.ask(
                {context_.log.message(57), context_.log.message(56) + row.name,
                 severalRows ? PromptButtons::YesNoToAll : PromptButtons::YesNo,
                 PromptIcon::Question});
            if (answer == PromptAnswer::YesToAll) overwriteAll = true;
            if (answer == PromptAnswer::NoToAll) overwriteAll = false;
            if (answer == PromptAnswer::No || answer == PromptAnswer::NoToAll) return;
        }
        if (overwriteAll == false) return;  // No to all keeps every existing file
        result = copyPcFile(from, *target, true);
    }
    if (result == CopyResult::SameFile) context_.log.logLine("Not copied onto itself: " + from);
    if (result == CopyResult::Failed) context_.log.logLine("Copy failed: " + from);
}

// ---- downloads --------------------------------------------------------------------------

bool Transfers::downloadRow(Side source, const PaneRow& row, const std::string& pcFolder) {
    const std::string phonePath = context_.panes.phoneFolder(source) + row.name;
    context_.log.logLine(phonePath);
    if (row.isFolder()) return downloadFolder(phonePath, pcFolder);
    // A phone name is one path component: it never names a file outside pcFolder.
    if (row.name.empty() || row.name == "." || row.name.find('/') != std::string::npos) {
        context_.log.logLine("Not a file name: " + row.name + "; skipped.");
        return true;
    }
    return downloadFile(phonePath, row, childPath(pcFolder, row.name));
}

bool Transfers::downloadFile(const std::string& phonePath, const PaneRow& row,
                             const std::string& pcFile) {
    const PhoneDownload file{phonePath, rowOpenMode(row, context_.runSettings.read().usblanP2k05()),
                             rowDownloadSize(row)};
    // The job's state lives in the shared block until the worker and afterJob are done.
    auto reason = std::make_shared<std::optional<std::string>>();
    CommandSet& commands = context_.commands;
    return workers_.run(
        kCommand, watched([&commands, reason, file, pcFile] {
            std::string error;
            if (!downloadPhoneFileToPc(commands, file, pcFile, ExistingFile::Replace, error)) {
                *reason = error;
            }
        }),
        [this, reason, pcFile, phonePath] {
            context_.log.logLine(pcFile);
            if (*reason) {
                context_.log.logLine("Download of " + phonePath + " failed (" + **reason + "); " +
                                     pcFile + " left as it was.");
            }
        },
        waitProgress());
}

bool Transfers::downloadFolder(const std::string& phoneFolder, const std::string& pcFolder) {
    std::vector<std::string> refused;
    const auto items = planFolderDownload(context_.catalogue.records(), phoneFolder,
                                          context_.runSettings.read().usblanP2k05(), refused);
    for (const std::string& path : refused)
        context_.log.logLine("Unsafe phone path skipped: " + path);
    // Counted by the jobs' ends: the files that got across.
    auto downloaded = std::make_shared<size_t>(0);
    size_t files = refused.size();
    for (const FolderDownloadItem& item : items) files += item.folder ? 0 : 1;
    const bool finished = downloadFolderItems(items, pcFolder, downloaded);
    if (*downloaded < files) {
        context_.log.logLine(phoneFolder + ": " + std::to_string(files - *downloaded) + " of " +
                             std::to_string(files) + " files not downloaded.");
    }
    return finished;
}

bool Transfers::downloadFolderItems(const std::vector<FolderDownloadItem>& items,
                                    const std::string& pcFolder,
                                    const std::shared_ptr<size_t>& downloaded) {
    CommandSet& commands = context_.commands;
    for (const FolderDownloadItem& item : items) {
        if (cancelled()) return true;
        const std::string pcPath = childPath(pcFolder, item.relativePcPath);
        context_.log.logLine(item.phonePath);
        std::string error;
        const std::string folder = item.folder ? pcPath : parentOf(pcPath);
        if (!makeFolders(folder, error)) {
            context_.log.logLine("Cannot create " + folder + ": " + error + "; skipped.");
            continue;
        }
        if (item.folder) continue;
        auto reason = std::make_shared<std::optional<std::string>>();
        const PhoneDownload file{item.phonePath, item.openMode, item.size};
        const bool started = workers_.run(
            kCommand, watched([&commands, reason, file, pcPath] {
                // Existing PC files of the same names are kept unchanged.
                std::string error;
                if (!downloadPhoneFileToPc(commands, file, pcPath, ExistingFile::Keep, error)) {
                    *reason = error;
                }
            }),
            [this, reason, pcPath, item, downloaded] {
                context_.log.logLine(pcPath);
                if (!*reason) {
                    ++*downloaded;
                    return;
                }
                context_.log.logLine("Download of " + item.phonePath + " failed (" + **reason +
                                     "); " + pcPath + " left as it was.");
            },
            waitProgress());
        if (!started) return false;
    }
    return true;
}

// ---- uploads ----------------------------------------------------------------------------

bool Transfers::uploadRow(Side destination, const std::string& pcPath, bool folder,
                          bool askTarget) {
    if (folder) return uploadFolder(destination, pcPath, walkPcFolder(pcPath));
    const std::string name = lastComponent(pcPath);
    std::string target = context_.panes.phoneFolder(destination) + name;
    if (askTarget && context_.config.overrideTargetPath != 0) {
        const auto edited = askTarget_(name, target);
        if (!edited) return true;  // Cancel cancels this upload
        target = *edited;
    }
    return uploadFile(pcPath, target, true);
}

bool Transfers::uploadFile(const std::string& pcFile, const std::string& target,
                           bool patchCatalogue, const std::shared_ptr<size_t>& sent) {
    std::string error;
    auto data = readWholeFile(pcFile, error);
    if (!data) {
        context_.log.logLine("Cannot read " + pcFile + " whole (" + error + "); not uploaded.");
        return true;
    }
    context_.log.logLine(pcFile + " -> " + target);
    auto bytes = std::make_shared<std::vector<uint8_t>>(std::move(*data));
    auto result = std::make_shared<UploadResult>();
    CommandSet& commands = context_.commands;
    return workers_.run(
        kCommand, watched([&commands, bytes, result, target] {
            *result = uploadPhoneFileReporting(commands, target, *bytes);
        }),
        [this, bytes, result, target, patchCatalogue, sent] {
            context_.catalogue.refreshPhoneStatus();
            if (result->result != 0) {
                // The reason, and whether a partial file was removed or remains.
                context_.log.logLine("Upload of " + target +
                                     " failed: " + uploadFailureText(*result, target));
                return;
            }
            if (sent) ++*sent;
            if (patchCatalogue) {
                context_.catalogue.appendCatalogueRecord(
                    target, static_cast<uint32_t>(bytes->size()), kUploadedAttributeWord);
            }
        },
        waitProgress());
}

bool Transfers::writeSourceList(const std::vector<std::string>& files) {
    std::string text;
    for (const std::string& file : files) {
        if (file.find_first_of("\r\n") != std::string::npos) {
            context_.log.logLine("A file name with a line break is not uploaded: " + file);
            continue;
        }
        text += file + "\n";
    }
    std::string error;
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    if (writeFileSafely(context_.programFile(kSourceListName), bytes, ExistingFile::Replace,
                        error)) {
        return true;
    }
    context_.log.logLine("Cannot write " + context_.programFile(kSourceListName) + ": " + error);
    return false;
}

std::optional<std::vector<std::string>> Transfers::readSourceList() {
    std::string error;
    const auto bytes = readWholeFile(context_.programFile(kSourceListName), error);
    if (!bytes) {
        context_.prompter.ask({"Warning", "SOURCEFILELIST file not found Will exit now.",
                               PromptButtons::Ok, PromptIcon::Warning});
        return std::nullopt;
    }
    return parseSourceList(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

bool Transfers::uploadFolder(Side destination, const std::string& pcFolder,
                             const PcFolderWalk& walk) {
    for (const auto& [folder, reason] : walk.unreadable) {
        context_.log.logLine("Cannot read the folder " + folder + " (" + reason +
                             "); not uploaded.");
    }
    // Without a fresh list the previous run's list would be read back and uploaded.
    if (!writeSourceList(walk.files)) {
        context_.log.logLine("Folder upload of " + pcFolder + " stopped.");
        return false;
    }
    const auto files = readSourceList();
    if (!files) return true;
    const std::string targetFolder = context_.panes.phoneFolder(destination);
    auto sent = std::make_shared<size_t>(0);
    bool finished = true;
    for (const std::string& file : *files) {
        if (cancelled()) break;
        if (!uploadFile(file, folderUploadTarget(targetFolder, pcFolder, file), false, sent)) {
            finished = false;
            break;
        }
    }
    const size_t all = walk.files.size() + walk.unreadable.size();
    if (*sent < all) {
        context_.log.logLine(pcFolder + ": " + std::to_string(all - *sent) + " of " +
                             std::to_string(all) + " files or folders not sent.");
    }
    return finished;
}

// ---- progress and Cancel ----------------------------------------------------------------

namespace {

struct RunSize {
    size_t files = 0;
    uint64_t bytes = 0;
    void add(uint64_t size) {
        ++files;
        bytes += size;
    }
};

}  // namespace

void Transfers::beginWatch(CopyCase copyCase, Side source, const std::vector<PaneRow>& rows,
                           const FolderListings& listings) {
    const bool usblan = context_.runSettings.read().usblanP2k05();
    RunSize run;
    for (const PaneRow& row : rows) {
        if (copyCase == CopyCase::Upload) {
            const std::string path = childPath(context_.panes.pcPath(source), row.name);
            const auto listing = listings.find(path);
            if (listing == listings.end()) {
                run.add(pcFileSize(path));
            } else {
                for (const std::string& file : listing->second.files) run.add(pcFileSize(file));
            }
            continue;
        }
        if (!row.isFolder()) {
            run.add(rowDownloadSize(row));
            continue;
        }
        std::vector<std::string> refused;
        const auto items =
            planFolderDownload(context_.catalogue.records(),
                               context_.panes.phoneFolder(source) + row.name, usblan, refused);
        for (const FolderDownloadItem& item : items) {
            if (!item.folder) run.add(item.size);
        }
    }
    watch_ = std::make_shared<TransferWatch>(context_.clock);
    watch_->beginRun(run.files, run.bytes);
}

bool Transfers::cancelled() const {
    return watch_ && watch_->cancelRequested();
}

void Transfers::logCancel() {
    if (!cancelled()) return;
    const TransferSnapshot state = watch_->snapshot();
    context_.log.logLine(
        "Copy cancelled: " + state.fileName + " was stopped, " +
        std::to_string(state.fileCount - std::min(state.fileCount, state.fileIndex)) +
        " more file(s) skipped.");
}

std::function<void()> Transfers::watched(std::function<void()> job) {
    CommandSet& commands = context_.commands;
    return [watch = watch_, &commands, job = std::move(job)] {
        commands.setTransferWatch(watch.get());
        job();
        commands.setTransferWatch(nullptr);
    };
}

WaitProgress Transfers::waitProgress() const {
    if (!watch_) return {};
    auto watch = watch_;
    return {[watch] { return transferProgressText(watch->snapshot()); },
            [watch] { watch->requestCancel(); }};
}

// ---- seems ------------------------------------------------------------------------------

void Transfers::downloadSeemRow(const std::string& rowText, const std::string& pcFolder) {
    if (rowText.size() == 4) {
        downloadWholeSeem(context_.commands, rowText, pcFolder);
        return;
    }
    if (!downloadSeemRecord(context_.commands, rowText, pcFolder)) {
        context_.log.logLine("Seem " + rowText + " not downloaded.");
    }
}

void Transfers::uploadSeemFile(const std::string& pcFolder, const std::string& name) {
    context_.log.logLine("Upload seem: " + name);
    const auto address = parseSeemFileName(name);
    if (!address) {
        context_.prompter.ask({"Warning", "Invalid seem filename Must be: xxxx_yyyy.seem",
                               PromptButtons::Ok, PromptIcon::Warning});
        return;
    }
    std::string error;
    const auto data = readWholeFile(childPath(pcFolder, name), error);
    if (!data) {
        context_.log.logLine("Cannot read " + name + ": " + error);
        return;
    }
    if (writeSeemFromFile(context_.commands, *address, *data) != 0) {
        context_.log.logLine("Seem " + name + " not written.");
    }
}

}  // namespace mdk
