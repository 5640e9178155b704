#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "p2k/catalogue.h"
#include "p2k/command_set.h"
#include "platform/safe_file.h"

namespace mdk {

class CommandSet;

// Phone file transfers shared by the command-line tool and the GUI's workers. Each call
// holds the phone-session lock for its whole open/seek/read/close or open/write/close.

// The size a file is listed with when the phone's list did not carry it (the names of
// Hidden_files.lst): a bound for the read, not the file's size.
inline constexpr uint32_t kUnlistedFileSize = 99999999;

// One phone file to download as the catalogue lists it.
struct PhoneDownload {
    std::string phonePath;
    uint32_t openMode = 0;
    uint32_t size = 0;   // the listed size
    bool bound = false;  // the size only bounds the read (a file the list does not know)
    // A hidden file's made-up size is a bound too.
    bool sizeIsBound() const { return bound || size == kUnlistedFileSize; }
};

// Downloads one phone file: open with its open mode, seek to 0, read up to size bytes,
// close. Each block goes to sink as it arrives (a sink that says false stops the
// download). The bytes delivered, or nullopt when any step fails; the transport's
// failureText() then tells why (a failing sink keeps its own reason). A file that came out
// shorter than its listed size fails too (FailureKind::ShortFile, "the phone sent N of the
// M bytes it listed"), unless the size is only a bound.
std::optional<uint64_t> downloadPhoneFile(CommandSet& commands, const PhoneDownload& file,
                                          const CommandSet::BlockSink& sink);
// The same into memory, for small files (the bytes of a failed read are never handed out).
std::optional<std::vector<uint8_t>> downloadPhoneFile(CommandSet& commands,
                                                      const std::string& phonePath,
                                                      uint32_t openMode, uint32_t size);
// "the phone sent N of the M bytes it listed"
std::string shortFileText(uint64_t received, uint32_t listed);

// The refusal of a download whose listed size exceeds the PC folder's free space:
// "not enough space in FOLDER: the phone lists N bytes, free M"; nullopt when it fits,
// the free space is unknown or the size is only a bound.
std::optional<std::string> downloadSpaceProblem(const PhoneDownload& file,
                                                std::optional<uint64_t> free,
                                                const std::string& pcFolder);

// Downloads one phone file block by block into pending, a temporary file it opens beside
// pcTarget unless the caller opened it already; the caller commits it. A listed size larger than
// the free space is refused before the first read. Each block also goes to alsoTo when given (a
// digest). The bytes delivered, or nullopt with error set (the temporary file is then gone); a
// refusal on the PC side leaves the transport without a failure.
std::optional<uint64_t> downloadIntoPendingFile(CommandSet& commands, const PhoneDownload& file,
                                                const std::string& pcTarget, PendingFile& pending,
                                                std::string& error,
                                                const CommandSet::BlockSink& alsoTo = {});

// Downloads one phone file into the PC file pcTarget through a temporary file beside it,
// put in place only once the download is whole: renamed over an existing file
// (ExistingFile::Replace), or linked to a name that must not exist (ExistingFile::Keep,
// which leaves an existing file unchanged and fails). On failure or Cancel nothing is left
// behind; error tells why.
bool downloadPhoneFileToPc(CommandSet& commands, const PhoneDownload& file,
                           const std::string& pcTarget, ExistingFile mode, std::string& error);

// What a failed upload leaves on the phone.
enum class PartialFile {
    None,     // nothing was opened for writing
    Removed,  // the partial file was deleted again
    Remains,  // the partial file could not be deleted (the link no longer answers)
};

struct UploadResult {
    int result = -1;     // 0 on success
    std::string reason;  // why it failed, in the transport's words
    PartialFile partial = PartialFile::None;
    uint32_t written = 0;  // bytes the phone took before the failure
};

// Uploads one phone file: open with openMode (4 for a new file, the row's own attribute
// value when a listed file is written back); when that fails create each parent folder in turn
// and open once more; write; close. A write that fails part-way closes the phone file and,
// while the link still answers, deletes the partial file. Nothing is written into a file
// the phone did not open for us. With checked transfers the file is then read back and
// compared; a difference fails the upload (the phone file stays as the phone has it).
UploadResult uploadPhoneFileReporting(CommandSet& commands, const std::string& phonePath,
                                      std::span<const uint8_t> data, uint32_t openMode = 4);
// The same, 0 on success and -1 on failure.
int uploadPhoneFile(CommandSet& commands, const std::string& phonePath,
                    std::span<const uint8_t> data, uint32_t openMode = 4);
// "REASON; the partial file was removed from the phone" (or that it remains).
std::string uploadFailureText(const UploadResult& upload, const std::string& phonePath);

// The room check before an upload: the file must fit the volume's free space plus the
// size of the file it replaces. The refusal "not enough space on /a: need N, free M", or
// nullopt when it fits or the phone does not tell its free space.
std::optional<std::string> uploadSpaceProblem(CommandSet& commands, const std::string& volume,
                                              uint64_t size, uint64_t replacedSize);

// The open value of a listed phone file, from its attribute word as the pane reads it:
// bits 8 to 23, or over USBLAN the low 16 bits (the attribute digits of its text).
uint32_t phoneOpenMode(uint32_t paneAttributes, bool usblanMode);

// One file (or folder record) of a phone folder download.
struct FolderDownloadItem {
    std::string phonePath;
    std::string relativePcPath;  // below the chosen PC folder, "/"-separated
    bool folder = false;
    uint32_t size = 0;
    uint32_t openMode = 0;
};

// Plans the download of the phone folder phoneFolder ("/a/music", no closing "/"): every
// record below it, named on the PC from the folder's own name on ("music/x.mp3"). Records
// whose path holds ".." or an empty component are refused (listed in refused).
std::vector<FolderDownloadItem> planFolderDownload(const std::vector<CatalogueRecord>& records,
                                                   const std::string& phoneFolder, bool usblanMode,
                                                   std::vector<std::string>& refused);

// Every regular file below a PC folder, in a stable order (the bare recursive listing of a
// folder upload; empty folders give nothing). Links to folders are not followed.
std::vector<std::string> listPcFilesBelow(const std::string& pcFolder);

// The same with the folders that could not be read, each with its reason.
struct PcFolderWalk {
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> unreadable;  // folder, why
};
PcFolderWalk walkPcFolder(const std::string& pcFolder);

// Every folder below a PC folder (the folder itself included) that holds nothing, in a
// stable order: a folder upload makes these on the phone, since no file takes them there.
std::vector<std::string> listEmptyPcFoldersBelow(const std::string& pcFolder);

// Makes a phone folder and every missing folder above it, parents first (the refusals of
// folders that exist are expected). False only when the phone stopped answering.
bool createPhoneFolders(CommandSet& commands, const std::string& folder);

// The phone target of a file of a folder upload: the target folder followed by the PC path
// from the uploaded folder's own name on.
std::string folderUploadTarget(const std::string& targetFolder, const std::string& pcFolder,
                               const std::string& pcFile);

// Reads the "SOURCEFILES" list text: LF-ended lines, CR dropped, "#" lines skipped, ends at
// the first empty line; text after the last LF is not part of it.
std::vector<std::string> parseSourceList(std::string_view text);

}  // namespace mdk

namespace mdk {

// The one-byte file that a new phone folder gets, so that the folder shows in the phone's
// file search (which lists files only).
inline constexpr const char* kFolderPlaceholderName = "folder.mdk";
inline constexpr uint32_t kUploadedAttributeWord = 0x07000400;

// Creates a phone folder and its placeholder file; the placeholder's phone path, or
// nullopt when the folder or the placeholder could not be made.
std::optional<std::string> createPhoneFolder(CommandSet& commands, const std::string& folder);

}  // namespace mdk
