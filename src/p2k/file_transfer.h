#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "p2k/catalogue.h"

namespace mdk {

class CommandSet;

// Phone file transfers shared by the command-line tool and the GUI's workers. Each call
// holds the phone-session lock for its whole open/seek/read/close or open/write/close.

// The size a file is listed with when the phone's list did not carry it (the names of
// Hidden_files.lst): a bound for the read, not the file's size.
inline constexpr uint32_t kUnlistedFileSize = 99999999;

// Downloads one phone file: open with openMode, seek to 0, read up to size bytes, close.
// The result holds the bytes the read delivered (fileReadTotal), at most size; nullopt
// when any step fails (the bytes of a failed read are never handed out); the transport's
// failureText() then tells why. With checked transfers a file that came out shorter than
// size fails too (FailureKind::VerifyFailed), unless size is kUnlistedFileSize.
std::optional<std::vector<uint8_t>> downloadPhoneFile(CommandSet& commands,
                                                      const std::string& phonePath,
                                                      uint32_t openMode, uint32_t size);

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
// folder upload; empty folders give nothing).
std::vector<std::string> listPcFilesBelow(const std::string& pcFolder);

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
