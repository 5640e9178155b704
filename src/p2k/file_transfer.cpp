#include "p2k/file_transfer.h"

#include <algorithm>
#include <filesystem>

#include "base/event_log.h"
#include "p2k/command_set.h"
#include "p2k/transfer_watch.h"
#include "p2k/transport.h"
#include "platform/safe_file.h"

namespace mdk {
namespace {
constexpr uint32_t kUploadOpenMode = 4;
constexpr uint32_t kFolderBit = 0x1000;

bool hasUnsafeComponent(std::string_view path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        std::string_view part = path.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") return true;
        start = slash + 1;
    }
    return false;
}
}  // namespace

std::string shortFileText(uint64_t received, uint32_t listed) {
    return "the phone sent " + std::to_string(received) + " of the " + std::to_string(listed) +
           " bytes it listed";
}

std::optional<uint64_t> downloadPhoneFile(CommandSet& commands, const PhoneDownload& file,
                                          const CommandSet::BlockSink& sink) {
    PhoneSession session(commands.transport());
    commands.transport().clearFailure();
    const uint32_t size = file.size;
    if (auto* watch = commands.transferWatch()) watch->beginFile(file.phonePath, size);
    if (auto* progress = commands.progress()) {
        progress->setRange(0, static_cast<int>(size / 1000) + 1);
        progress->setPosition(0);
    }
    if (commands.phoneOpenFile(file.phonePath, file.openMode) != 0) return std::nullopt;
    uint64_t received = 0;
    int result = commands.phoneSeekFile(0, 0);
    // A 0-byte file is read by no request at all: it is complete as it is.
    if (result == 0 && size > 0) {
        result = commands.phoneReadFile(size, [&](std::span<const uint8_t> block) {
            received += block.size();
            return sink(block);
        });
    }
    const int closed = commands.phoneCloseFile();
    if (result != 0 || closed != 0) return std::nullopt;
    // A read that ends with a short reply before the listed size is a file the phone did
    // not send whole. A size that is only a bound ends where the phone's file ends.
    if (!file.sizeIsBound() && received < size) {
        commands.transport().noteFailure(FailureKind::ShortFile, shortFileText(received, size));
        return std::nullopt;
    }
    return received;
}

std::optional<std::vector<uint8_t>> downloadPhoneFile(CommandSet& commands,
                                                      const std::string& phonePath,
                                                      uint32_t openMode, uint32_t size) {
    std::vector<uint8_t> data;
    const auto sink = [&data](std::span<const uint8_t> block) {
        data.insert(data.end(), block.begin(), block.end());
        return true;
    };
    if (!downloadPhoneFile(commands, {phonePath, openMode, size}, sink)) return std::nullopt;
    return data;
}

std::optional<std::string> downloadSpaceProblem(const PhoneDownload& file,
                                                std::optional<uint64_t> free,
                                                const std::string& pcFolder) {
    if (file.sizeIsBound() || !free || file.size <= *free) return std::nullopt;
    return "not enough space in " + pcFolder + ": the phone lists " + std::to_string(file.size) +
           " bytes, free " + std::to_string(*free);
}

std::optional<uint64_t> downloadIntoPendingFile(CommandSet& commands, const PhoneDownload& file,
                                                const std::string& pcTarget, PendingFile& pending,
                                                std::string& error,
                                                const CommandSet::BlockSink& alsoTo) {
    commands.transport().clearFailure();
    const size_t slash = pcTarget.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : pcTarget.substr(0, slash + 1);
    if (auto problem = downloadSpaceProblem(file, freeSpaceIn(folder), folder)) {
        error = *problem;
        return std::nullopt;
    }
    if (!pending.isOpen() && !pending.open(pcTarget, error)) return std::nullopt;
    std::string writeError;
    const auto received = downloadPhoneFile(commands, file, [&](std::span<const uint8_t> block) {
        return pending.write(block, writeError) && (!alsoTo || alsoTo(block));
    });
    if (!received) {
        error = writeError.empty() ? commands.transport().failureText() : writeError;
        pending.discard();
    }
    return received;
}

bool downloadPhoneFileToPc(CommandSet& commands, const PhoneDownload& file,
                           const std::string& pcTarget, ExistingFile mode, std::string& error) {
    std::error_code missing;
    if (mode == ExistingFile::Keep && std::filesystem::symlink_status(pcTarget, missing).type() !=
                                          std::filesystem::file_type::not_found) {
        error = "exists, left unchanged: " + pcTarget;
        return false;
    }
    PendingFile pending;
    return downloadIntoPendingFile(commands, file, pcTarget, pending, error) &&
           pending.commit(mode, error);
}

namespace {

void createParentFolders(CommandSet& commands, const std::string& phonePath) {
    QuietLog quiet(commands.log());
    for (size_t slash = phonePath.find('/', 1); slash != std::string::npos;
         slash = phonePath.find('/', slash + 1)) {
        // A folder that already exists refuses; that is expected and ignored.
        commands.phoneCreateFolder(phonePath.substr(0, slash), kUploadOpenMode);
    }
}

int writeOpenFile(CommandSet& commands, std::span<const uint8_t> data) {
    if (auto* progress = commands.progress()) {
        progress->setRange(0, static_cast<int>(data.size() / 1000) + 1);
        progress->setPosition(0);
    }
    const int written = commands.phoneWriteFile(data);
    const int closed = commands.phoneCloseFile();
    return (written == 0 && closed == 0) ? 0 : -1;
}

bool linkStillAnswers(Transport& transport) {
    if (transport.silent()) return false;
    const FailureKind kind = transport.failure().kind;
    return kind != FailureKind::NoReply && kind != FailureKind::LinkLost &&
           kind != FailureKind::NothingOpen;
}

// After a write that failed part-way: the phone file was closed; the partial file goes
// when the phone still answers.
void removePartialFile(CommandSet& commands, const std::string& phonePath, UploadResult& upload) {
    Transport& transport = commands.transport();
    upload.reason = transport.failureText("the phone refused the write");
    upload.written = commands.fileWriteTotal();
    upload.partial = PartialFile::Remains;
    if (linkStillAnswers(transport) && commands.phoneDeleteFile(phonePath) == 0) {
        upload.partial = PartialFile::Removed;
    }
}

// The phone's copy of an uploaded file compared with what was sent: nullopt when they
// match, else why not. The read-back is not counted as progress.
std::optional<std::string> readBackProblem(CommandSet& commands, const std::string& phonePath,
                                           std::span<const uint8_t> sent, uint32_t openMode) {
    TransferWatch* watch = commands.transferWatch();
    commands.setTransferWatch(nullptr);
    std::vector<uint8_t> back;
    const bool read =
        commands.phoneOpenFile(phonePath, openMode) == 0 && commands.phoneSeekFile(0, 0) == 0 &&
        (sent.empty() || commands.phoneReadFile(back, static_cast<uint32_t>(sent.size())) == 0);
    const bool closed = commands.phoneCloseFile() == 0;
    commands.setTransferWatch(watch);
    if (!read || !closed) return "the file could not be read back";
    const auto diff = std::mismatch(back.begin(), back.end(), sent.begin(), sent.end());
    if (diff.first == back.end() && diff.second == sent.end()) return std::nullopt;
    if (back.size() != sent.size()) {
        return "the phone's copy has " + std::to_string(back.size()) + " bytes, the PC file " +
               std::to_string(sent.size());
    }
    return "the phone's copy differs from the PC file at byte " +
           std::to_string(diff.first - back.begin());
}

// A finished upload, checked when the command set asks for it.
UploadResult finishedUpload(CommandSet& commands, const std::string& phonePath,
                            std::span<const uint8_t> data, uint32_t openMode) {
    UploadResult upload;
    upload.written = static_cast<uint32_t>(data.size());
    if (commands.verifyTransfers()) {
        if (auto problem = readBackProblem(commands, phonePath, data, openMode)) {
            upload.reason = "verify failed: " + *problem;
            commands.transport().noteFailure(FailureKind::VerifyFailed, upload.reason);
            return upload;
        }
    }
    upload.result = 0;
    return upload;
}

}  // namespace

UploadResult uploadPhoneFileReporting(CommandSet& commands, const std::string& phonePath,
                                      std::span<const uint8_t> data, uint32_t openMode) {
    Transport& transport = commands.transport();
    PhoneSession session(transport);
    transport.clearFailure();
    if (auto* watch = commands.transferWatch()) watch->beginFile(phonePath, data.size());
    UploadResult upload;
    bool opened = false;
    {
        // A missing parent folder makes this first open fail; that refusal is expected.
        QuietLog quiet(commands.log());
        opened = commands.phoneOpenFile(phonePath, openMode) == 0;
    }
    if (opened) {
        if (writeOpenFile(commands, data) == 0) {
            return finishedUpload(commands, phonePath, data, openMode);
        }
        // With the P2k05 framing a refused open looks like success and only the first
        // write fails: the folders may be missing, so they are made and the file tried
        // once more. A write that failed later had its file open: no second try.
        const bool refusedOpen = transport.p2k05Active() && commands.fileWriteTotal() == 0 &&
                                 transport.failure().kind != FailureKind::Cancelled;
        if (!refusedOpen || !linkStillAnswers(transport)) {
            removePartialFile(commands, phonePath, upload);
            return upload;
        }
    }
    createParentFolders(commands, phonePath);
    // The folders' refusals (they exist already) are expected: the reason is what follows.
    transport.clearFailure();
    if (commands.phoneOpenFile(phonePath, openMode) != 0) {
        upload.reason = transport.failureText("the phone refused to open the file");
        return upload;
    }
    if (writeOpenFile(commands, data) == 0) {
        return finishedUpload(commands, phonePath, data, openMode);
    }
    removePartialFile(commands, phonePath, upload);
    return upload;
}

int uploadPhoneFile(CommandSet& commands, const std::string& phonePath,
                    std::span<const uint8_t> data, uint32_t openMode) {
    return uploadPhoneFileReporting(commands, phonePath, data, openMode).result;
}

std::string uploadFailureText(const UploadResult& upload, const std::string& phonePath) {
    switch (upload.partial) {
        case PartialFile::Removed:
            return upload.reason + "; the partial file was removed from the phone";
        case PartialFile::Remains:
            return upload.reason + "; a partial file remains on the phone: " + phonePath;
        case PartialFile::None:
            break;
    }
    return upload.reason;
}

std::optional<std::string> uploadSpaceProblem(CommandSet& commands, const std::string& volume,
                                              uint64_t size, uint64_t replacedSize) {
    bool reportedZero = false;
    const std::optional<uint32_t> free = commands.phoneFreeSpace(volume, &reportedZero);
    if (!free && !reportedZero) return std::nullopt;  // the phone does not tell
    const uint64_t room = uint64_t(free.value_or(0)) + replacedSize;
    if (size <= room) return std::nullopt;
    return "not enough space on " + volume + ": need " + std::to_string(size) + ", free " +
           std::to_string(room);
}

uint32_t phoneOpenMode(uint32_t paneAttributes, bool usblanMode) {
    return usblanMode ? paneAttributes & 0xFFFF : (paneAttributes >> 8) & 0xFFFF;
}

std::vector<FolderDownloadItem> planFolderDownload(const std::vector<CatalogueRecord>& records,
                                                   const std::string& phoneFolder, bool usblanMode,
                                                   std::vector<std::string>& refused) {
    std::string folder = phoneFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const size_t nameStart = folder.rfind('/') + 1;  // the folder's own name in the path
    const std::string prefix = folder + "/";
    std::vector<FolderDownloadItem> items;
    for (const auto& record : records) {
        if (record.path.size() <= prefix.size() || record.path.compare(0, prefix.size(), prefix)) {
            continue;
        }
        std::string relative = record.path.substr(nameStart);
        while (!relative.empty() && relative.back() == '/') relative.pop_back();
        if (hasUnsafeComponent(relative)) {
            refused.push_back(record.path);
            continue;
        }
        const uint32_t attributes = paneAttributeValue(record.attributeWord, usblanMode);
        items.push_back(
            {record.path, relative, (attributes & kFolderBit) != 0, record.size, attributes});
    }
    return items;
}

namespace {
void walkFolder(const std::filesystem::path& folder, PcFolderWalk& walk) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code entryError;
        if (it->is_directory(entryError) && !it->is_symlink(entryError)) {
            walkFolder(it->path(), walk);
        } else if (it->is_regular_file(entryError)) {
            walk.files.push_back(it->path().string());
        }
    }
    // A folder that cannot be read (or read to its end) is named, never left out silently.
    if (ec) walk.unreadable.push_back({folder.string(), ec.message()});
}
}  // namespace

PcFolderWalk walkPcFolder(const std::string& pcFolder) {
    PcFolderWalk walk;
    walkFolder(pcFolder, walk);
    std::sort(walk.files.begin(), walk.files.end());
    std::sort(walk.unreadable.begin(), walk.unreadable.end());
    return walk;
}

std::vector<std::string> listPcFilesBelow(const std::string& pcFolder) {
    return walkPcFolder(pcFolder).files;
}

std::vector<std::string> listEmptyPcFoldersBelow(const std::string& pcFolder) {
    namespace fs = std::filesystem;
    std::vector<std::string> folders;
    std::error_code ec;
    auto isEmpty = [](const fs::path& folder) {
        std::error_code inner;
        return fs::directory_iterator(folder, inner) == fs::directory_iterator() && !inner;
    };
    if (fs::is_directory(pcFolder, ec) && isEmpty(pcFolder)) folders.push_back(pcFolder);
    fs::recursive_directory_iterator it(pcFolder, fs::directory_options::skip_permission_denied,
                                        ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec) && isEmpty(it->path())) {
            folders.push_back(it->path().string());
        }
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

bool createPhoneFolders(CommandSet& commands, const std::string& folder) {
    Transport& transport = commands.transport();
    PhoneSession session(transport);
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    transport.clearFailure();
    createParentFolders(commands, path + "/");
    return linkStillAnswers(transport);
}

std::string folderUploadTarget(const std::string& targetFolder, const std::string& pcFolder,
                               const std::string& pcFile) {
    std::string folder = pcFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const size_t nameStart = folder.rfind('/') + 1;
    std::string target = targetFolder;
    if (target.empty() || target.back() != '/') target += '/';
    return target + pcFile.substr(std::min(nameStart, pcFile.size()));
}

std::vector<std::string> parseSourceList(std::string_view text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r') continue;
        if (c != '\n') {
            line.push_back(c);
            continue;
        }
        if (line.empty()) break;
        if (line[0] != '#') lines.push_back(line);
        line.clear();
    }
    return lines;
}

}  // namespace mdk

namespace mdk {

std::optional<std::string> createPhoneFolder(CommandSet& commands, const std::string& folder) {
    PhoneSession session(commands.transport());
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (commands.phoneCreateFolder(path, kUploadOpenMode) != 0) return std::nullopt;
    const std::string placeholder = path + "/" + kFolderPlaceholderName;
    const uint8_t marker[1] = {'5'};
    if (commands.phoneOpenFile(placeholder, kUploadOpenMode) != 0) return std::nullopt;
    const int written = commands.phoneWriteFile(marker);
    const int closed = commands.phoneCloseFile();
    if (written != 0 || closed != 0) return std::nullopt;
    return placeholder;
}

}  // namespace mdk
