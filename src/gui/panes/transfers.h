#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "p2k/file_transfer.h"
#include "panes/copy_cases.h"
#include "panes/pane_types.h"

namespace mdk {

class AppContext;
class PaneHost;
class PhoneSource;
class TransferWatch;
class WorkerRunner;
struct WaitProgress;
struct FolderDownloadItem;

// The Copy command and the per-row transfers between the panes: PC to PC, phone file and
// folder downloads, file and folder uploads, seem downloads and uploads. Phone downloads
// and uploads run one file at a time on the window's worker runner; a download is written
// block by block into a temporary file that takes the PC file's place only after a
// complete read.
// The wait dialog of each file shows the copy's progress and a Cancel button: Cancel stops
// the file between two blocks (nothing partial is kept on either side) and skips the rows
// that follow.
class Transfers {
public:
    // Dialog 1300 for a row: the file name and the proposed target; nothing on Cancel.
    using TargetAsker = std::function<std::optional<std::string>(const std::string& name,
                                                                 const std::string& proposed)>;

    Transfers(AppContext& context, PaneHost& host, WorkerRunner& workers, PhoneSource& phone);

    void setTargetAsker(TargetAsker asker) { askTarget_ = std::move(asker); }

    // The next selected row of the active pane after start (-1: from the first row), or
    // -1. It becomes the current row and the pane's focus index.
    int nextSelectedRow(int start);
    int currentRow() const { return currentRow_; }
    // Every selected row of the active pane but "..", in list order (the selection walk).
    std::vector<PaneRow> selectedRows();
    bool selectionIsFolder() const { return selectionIsFolder_; }

    // The Copy command (F5): the active pane is the source, the other the destination.
    void copy();
    // The watch of the latest phone copy (tests read its progress and cancel it).
    std::shared_ptr<TransferWatch> transferWatch() const { return watch_; }

    // Downloads one row of the phone pane source into the PC folder pcFolder. False when
    // it was not started (refused, unreadable row, a worker still running).
    bool downloadRow(Side source, const PaneRow& row, const std::string& pcFolder);
    // Uploads a PC file or folder into the phone folder shown by destination. A file may
    // have its target edited first (when askTarget and the option are on).
    bool uploadRow(Side destination, const std::string& pcPath, bool folder, bool askTarget);
    // Reads "SOURCEFILES" of the program folder; nullopt after the warning box.
    std::optional<std::vector<std::string>> readSourceList();

    // Seem rows: a seem (four characters) or one record, into pcFolder.
    void downloadSeemRow(const std::string& rowText, const std::string& pcFolder);
    // A PC file named xxxx_yyyy.seem written into its record.
    void uploadSeemFile(const std::string& pcFolder, const std::string& name);

private:
    void copyPcRows(Side source, Side destination, const std::vector<PaneRow>& rows);
    void copyPcRow(const std::string& sourceFolder, const std::string& targetFolder,
                   const PaneRow& row, bool severalRows, std::optional<bool>& overwriteAll);
    bool downloadFile(const std::string& phonePath, const PaneRow& row, const std::string& pcFile);
    bool downloadFolder(const std::string& phoneFolder, const std::string& pcFolder);
    bool downloadFolderItems(const std::vector<FolderDownloadItem>& items,
                             const std::string& pcFolder,
                             const std::shared_ptr<size_t>& downloaded);
    // sent, when given, counts the uploads that succeeded.
    bool uploadFile(const std::string& pcFile, const std::string& target, bool patchCatalogue,
                    const std::shared_ptr<size_t>& sent = nullptr);
    // The PC folders of an upload, each walked once, by folder path.
    using FolderListings = std::map<std::string, PcFolderWalk>;
    // Uploads the files of walk, the folder pcFolder walked, through the SOURCEFILES list.
    bool uploadFolder(Side destination, const std::string& pcFolder, const PcFolderWalk& walk);
    bool writeSourceList(const std::vector<std::string>& files);
    // A new watch for a copy of rows: their file count and bytes in all (the files of an
    // uploaded folder as listed in listings).
    void beginWatch(CopyCase copyCase, Side source, const std::vector<PaneRow>& rows,
                    const FolderListings& listings);
    bool cancelled() const;
    // After a cancelled copy: the log line naming the file stopped and the files skipped.
    void logCancel();
    // The job run with the copy's watch attached to the command set.
    std::function<void()> watched(std::function<void()> job);
    WaitProgress waitProgress() const;

    AppContext& context_;
    PaneHost& host_;
    WorkerRunner& workers_;
    PhoneSource& phone_;
    TargetAsker askTarget_;
    std::shared_ptr<TransferWatch> watch_;
    int currentRow_ = -1;
    bool selectionIsFolder_ = false;
};

// The last path component of a PC path ("/home/u/x.txt" gives "x.txt").
std::string lastComponent(const std::string& path);

}  // namespace mdk
