#include "cli/commands.h"

#include <sys/stat.h>

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "base/hex_text.h"
#include "cli/backup_commands.h"
#include "cli/detect_command.h"
#include "cli/interrupt.h"
#include "cli/mount_command.h"
#include "cli/run_package.h"
#include "cli/seem_commands.h"
#include "cli/seem_diff_command.h"
#include "cli/session.h"
#include "p2k/file_transfer.h"
#include "p2k/transport.h"
#include "platform/safe_file.h"
#include "seem/seem_file.h"

namespace mdk::cli {
namespace {

namespace fs = std::filesystem;

uint16_t parseHex16(const std::string& text, const char* what) {
    auto value = parseHex(text, 4);
    if (!value) {
        throw UsageError{std::string("bad ") + what + " (want 1 to 4 hexadecimal digits): " + text};
    }
    return static_cast<uint16_t>(*value);
}

bool isFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string baseName(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p.substr(p.rfind('/') + 1);
}

void writePcFile(const std::string& path, const std::vector<uint8_t>& bytes, ExistingFile mode) {
    std::string error;
    if (!writeFileSafely(path, bytes, mode, error)) throw CommandError{error};
}

// ---- info -----------------------------------------------------------------------------

void printUsblanInfo(Session& s) {
    std::printf("Model: %s\n", visibleText(s.usblanModel()).c_str());
    std::printf("Family: Linux\n");
    std::printf("Framing: P2k05 over USBLAN\n");
    std::vector<uint8_t> volumes;
    if (s.commands().phoneListVolumes(volumes) == 0) {
        std::printf("Volumes: %s\n", Catalogue::volumeText(volumes).c_str());
    }
    if (auto free = s.commands().phoneFreeSpace("/e")) std::printf("Free: %u KB\n", *free / 1024);
}

void runInfo(Session& s, const std::vector<std::string>&) {
    if (s.usblan()) return printUsblanInfo(s);
    s.probe();
    CommandSet& commands = s.commands();
    const bool cdma = commands.cdmaPhone();
    std::vector<uint8_t> reply;
    std::string model;
    if (cdma ? commands.phoneReadSeem(0x2827, 1, 0, 10, reply) == 0
             : commands.phoneReadSeem(0x0117, 1, 0, 0, reply) == 0) {
        std::span<const uint8_t> data(reply);
        if (!data.empty()) data = data.subspan(1);
        model = cdma ? modelTextCdma(data) : modelTextGsm(data);
    } else {
        throw CommandError{"the phone refused its identity seem"};
    }
    std::printf("Model: %s\n", visibleText(model).c_str());
    std::printf("Family: %s\n", cdma ? "CDMA" : "GSM");
    std::printf("Framing: %s\n", commands.transport().p2k05Active() ? "P2k05" : "P2k");
    std::vector<uint8_t> volumes;
    if (cdma || commands.phoneListVolumes(volumes) != 0) return;
    std::string text = Catalogue::volumeText(volumes);
    std::printf("Volumes: %s\n", text.c_str());
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '/' || text[i + 1] == ' ') continue;
        const std::string volume = text.substr(i, 2);
        if (auto free = commands.phoneFreeSpace(volume)) {
            std::printf("Free %s: %u KB\n", volume.c_str(), *free / 1024);
        }
    }
}

// ---- listing --------------------------------------------------------------------------

std::string folderPath(const std::string& argument) {
    std::string folder = normalizePhonePath(argument);
    if (folder.back() != '/') folder += '/';
    return folder;
}

// The characters of a UTF-8 text (continuation bytes are not counted).
size_t displayWidth(const std::string& text) {
    size_t width = 0;
    for (unsigned char c : text) width += (c & 0xC0) != 0x80;
    return width;
}

std::string padRight(const std::string& text, size_t width) {
    const size_t shown = displayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

// A folder exists when records lie below it or stand for it, or when it is a volume the
// phone lists.
bool phoneFolderExists(Session& s, const std::string& folder) {
    const std::string bare = folder.substr(0, folder.size() - 1);
    if (!s.catalogue().recordsBelow(bare).empty()) return true;
    for (const auto& record : s.catalogue().records()) {
        if (record.path == bare) return true;
    }
    if (bare.size() != 2) return false;  // deeper than a volume
    std::vector<uint8_t> volumes;
    if (s.commands().phoneListVolumes(volumes) != 0) return false;
    const std::string text = Catalogue::volumeText(volumes) + " ";
    return text.find(bare + " ") != std::string::npos;
}

void runLs(Session& s, const std::vector<std::string>& args) {
    const std::string folder = folderPath(args[0]);
    s.loadVolume(folder);
    auto rows = s.catalogue().listFolder(folder);
    if (rows.empty() && !phoneFolderExists(s, folder)) {
        throw CommandError{"no such folder on the phone: " + folder};
    }
    std::stable_sort(rows.begin(), rows.end(), [](const PhoneRow& a, const PhoneRow& b) {
        if (a.folder != b.folder) return a.folder;
        return strcasecmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    for (const auto& row : rows) {
        const std::string size = row.folder ? "< DIR >" : std::to_string(row.size);
        std::printf("%s %12s  %s\n", padRight(visibleText(row.name), 40).c_str(), size.c_str(),
                    row.folder ? "" : row.attributeText.c_str());
    }
}

// ---- get ------------------------------------------------------------------------------

constexpr uint32_t kFolderBit = 0x1000;

// A record's attribute word as the phone pane reads it (low bytes swapped in USBLAN mode).
uint32_t paneAttributes(Session& s, const CatalogueRecord& record) {
    return paneAttributeValue(record.attributeWord, s.context().runSettings.read().usblanP2k05());
}

std::optional<CatalogueRecord> findRecord(Session& s, const std::string& path) {
    for (auto& record : s.catalogue().records()) {
        if (record.path == path) return record;
    }
    return std::nullopt;
}

// The file record at path; a folder's own record (phones that list folders) is not one.
std::optional<CatalogueRecord> findFileRecord(Session& s, const std::string& path) {
    auto record = findRecord(s, path);
    if (record && (paneAttributes(s, *record) & kFolderBit)) return std::nullopt;
    return record;
}

// The PC folder a file is written into must exist: say so naming the target.
void checkPcParent(const std::string& target) {
    const fs::path parent = fs::path(target).parent_path();
    if (!parent.empty() && !isFolder(parent.string())) {
        throw CommandError{"cannot write " + target + ": no such PC folder " + parent.string()};
    }
}

// One file or folder of a transfer that did not get across, on stderr: "WHAT: PATH: WHY".
// Phone names may hold terminal controls, so both texts are shown escaped.
void reportNotDone(const char* what, const std::string& path, const std::string& reason) {
    std::fprintf(stderr, "%s: %s: %s\n", what, visibleText(path).c_str(),
                 visibleText(reason).c_str());
}

void getFile(Session& s, const CatalogueRecord& record, std::string target) {
    if (isFolder(target)) target.append("/").append(baseName(record.path));
    checkPcParent(target);
    const bool usblan = s.context().runSettings.read().usblanP2k05();
    const uint32_t attributes = paneAttributeValue(record.attributeWord, usblan);
    const uint32_t mode = phoneOpenMode(attributes, usblan);
    std::string error;
    bool done = false;
    {
        TransferRun run(s, 1, record.size);
        done = downloadPhoneFileToPc(s.commands(), {record.path, mode, record.size}, target,
                                     ExistingFile::Replace, error);
    }
    if (!done) throw CommandError{"download failed: " + record.path + ": " + error};
}

// The files of a folder download: each one not downloaded is named with its reason.
struct FolderTally {
    size_t files = 0;  // every file of the folder, refused names included
    size_t notDone = 0;
    int downloaded = 0;
    int folders = 0;
    int foldersNotMade = 0;
    void skip(const std::string& path, const std::string& reason) {
        reportNotDone("not downloaded", path, reason);
        ++notDone;
    }
};

// One item of a folder download into pcPath, counted in tally.
void getFolderItem(Session& s, const FolderDownloadItem& item, const std::string& pcPath,
                   FolderTally& tally) {
    std::string error;
    const std::string parent = item.folder ? pcPath : pcPath.substr(0, pcPath.rfind('/'));
    if (!makeFolders(parent, error)) {
        if (item.folder) {
            ++tally.foldersNotMade;
            return reportNotDone("folder not created", pcPath, error);
        }
        return tally.skip(item.phonePath, error);
    }
    if (item.folder) {
        ++tally.folders;
        return;
    }
    // Existing PC files of the same names are kept unchanged.
    if (!downloadPhoneFileToPc(s.commands(), {item.phonePath, item.openMode, item.size}, pcPath,
                               ExistingFile::Keep, error)) {
        return tally.skip(item.phonePath, error);
    }
    ++tally.downloaded;
}

void getFolder(Session& s, const std::string& folder, const std::string& target) {
    std::vector<std::string> refused;
    auto items = planFolderDownload(s.catalogue().records(), folder,
                                    s.context().runSettings.read().usblanP2k05(), refused);
    FolderTally tally;
    tally.files = refused.size();
    uint64_t bytes = 0;
    for (const auto& item : items) {
        if (item.folder) continue;
        ++tally.files;
        bytes += item.size;
    }
    for (const auto& path : refused) tally.skip(path, "unsafe phone path refused");
    TransferRun run(s, tally.files - refused.size(), bytes);
    for (const auto& item : items) {
        if (run.cancelled()) {
            throw CommandError{"cancelled by the user; " + std::to_string(tally.downloaded) +
                               " file(s) were downloaded into " + target};
        }
        getFolderItem(s, item, target + "/" + item.relativePcPath, tally);
    }
    s.checkAnswering();
    std::printf("%d file(s) and %d folder(s) downloaded into %s\n", tally.downloaded, tally.folders,
                target.c_str());
    if (tally.notDone > 0) {
        throw CommandError{std::to_string(tally.notDone) + " of " + std::to_string(tally.files) +
                           " files not downloaded"};
    }
    if (tally.foldersNotMade > 0) {
        throw CommandError{std::to_string(tally.foldersNotMade) + " folder(s) not created"};
    }
}

void runGet(Session& s, const std::vector<std::string>& args) {
    std::string path = normalizePhonePath(args[0]);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    s.loadVolume(path);
    if (auto record = findFileRecord(s, path)) {
        getFile(s, *record, args.size() > 1 ? args[1] : baseName(path));
        return;
    }
    if (s.catalogue().recordsBelow(path).empty()) throw CommandError{"not on the phone: " + path};
    getFolder(s, path, args.size() > 1 ? args[1] : ".");
}

// ---- put ------------------------------------------------------------------------------

// A path the phone's records cannot list (the record holds the path and its zero).
void checkPathFits(Session& s, const std::string& phonePath) {
    const size_t room = s.catalogue().recordStride() - 8 - 1;
    if (phonePath.size() > room) {
        throw CommandError{"phone path too long for this phone: " + phonePath + " (" +
                           std::to_string(phonePath.size()) + " characters; it can hold " +
                           std::to_string(room) + ")"};
    }
}

void putFile(Session& s, const std::string& pcPath, const std::string& phonePath) {
    checkPathFits(s, phonePath);
    const auto existing = findFileRecord(s, phonePath);
    const uint64_t replaced = existing ? existing->size : 0;
    // The phone's free space is checked before the file is read, so that a file far too
    // large for the phone is never taken into memory.
    if (auto problem =
            uploadSpaceProblem(s.commands(), volumeOf(phonePath), pcFileSize(pcPath), replaced)) {
        throw CommandError{*problem};
    }
    std::string error;
    auto data = readWholeFile(pcPath, error);
    if (!data) throw CommandError{error};
    const UploadResult upload = uploadPhoneFileReporting(s.commands(), phonePath, *data);
    if (upload.result == 0) return;
    if (upload.partial == PartialFile::Remains) {
        s.noteLeftOnPhone("a partial file remains on the phone: " + phonePath);
    }
    s.checkAnswering();
    std::string text = "upload failed: " + phonePath + ": " + uploadFailureText(upload, phonePath);
    if (existing && upload.partial != PartialFile::None) {
        text +=
            " (the phone file it replaced is lost: the phone cannot keep it once writing began)";
    }
    throw CommandError{text};
}

// Folders of a PC folder upload that hold nothing at all: made on the phone, parents first.
void putEmptyFolders(Session& s, const std::string& pcFolder, const std::string& phoneFolder) {
    for (const auto& folder : listEmptyPcFoldersBelow(pcFolder)) {
        const std::string target = folderUploadTarget(phoneFolder, pcFolder, folder);
        checkPathFits(s, target);
        if (!createPhoneFolders(s.commands(), target)) {
            throw CommandError{"the phone refused to create " + target + ": " +
                               s.commands().transport().failureText()};
        }
    }
}

void runPut(Session& s, const std::vector<std::string>& args) {
    const std::string& pcPath = args[0];
    std::string phonePath = normalizePhonePath(args[1]);
    s.loadVolume(phonePath);  // the existing files, the free space and the record size
    if (!isFolder(pcPath)) {
        if (phonePath.back() == '/') phonePath += baseName(pcPath);
        TransferRun run(s, 1, pcFileSize(pcPath));
        putFile(s, pcPath, phonePath);
        return;
    }
    const PcFolderWalk walk = walkPcFolder(pcPath);
    uint64_t bytes = 0;
    for (const auto& file : walk.files) bytes += pcFileSize(file);
    size_t notSent = 0;
    for (const auto& [folder, reason] : walk.unreadable) {
        reportNotDone("not sent", folder, "cannot read the folder: " + reason);
        ++notSent;
    }
    {
        TransferRun run(s, walk.files.size(), bytes);
        for (const auto& file : walk.files) {
            if (run.cancelled()) throw CommandError{"cancelled by the user"};
            try {
                putFile(s, file, folderUploadTarget(phonePath, pcPath, file));
            } catch (const CommandError& error) {
                if (run.cancelled()) throw;
                s.checkAnswering();  // a phone that stopped answering ends the upload
                reportNotDone("not sent", file, error.message);
                ++notSent;
            }
        }
    }
    putEmptyFolders(s, pcPath, phonePath);
    if (notSent > 0) {
        throw CommandError{std::to_string(notSent) + " of " +
                           std::to_string(walk.files.size() + walk.unreadable.size()) +
                           " files or folders not sent"};
    }
}

// ---- other file commands --------------------------------------------------------------

void expectOk(int result, const std::string& what) {
    if (result != 0) throw CommandError{what};
}

void runRm(Session& s, const std::vector<std::string>& args) {
    s.probe();
    std::string path = normalizePhonePath(args[0]);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (s.commands().phoneDeleteFile(path) == 0) return;
    const PhoneFailure failure = s.commands().transport().failure();
    s.checkAnswering();
    if (failure.kind != FailureKind::Refused && failure.kind != FailureKind::PhoneStatus) {
        throw CommandError{"cannot delete " + path + ": " + failure.text};
    }
    s.loadVolume(path);
    if (!s.catalogue().recordsBelow(path).empty() ||
        (findRecord(s, path) && !findFileRecord(s, path))) {
        throw CommandError{path + " is a folder: use rmdir"};
    }
    throw CommandError{"the phone refused to delete " + path};
}

void runMkdir(Session& s, const std::vector<std::string>& args) {
    std::string path = normalizePhonePath(args[0]);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    s.loadVolume(path);
    checkPathFits(s, path + "/" + kFolderPlaceholderName);
    if (!createPhoneFolder(s.commands(), path)) {
        throw CommandError{"the phone refused to create " + path};
    }
}

// Removes an empty phone folder. The placeholder file that mkdir puts in a new folder goes
// with it. With the P2k05 framing the phone's refusal does not show in its reply, so the
// catalogue is read again to see whether the folder is gone.
void runRmdir(Session& s, const std::vector<std::string>& args) {
    s.probe();
    std::string path = normalizePhonePath(args[0]);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::string refused = "the phone refused to remove " + path;
    s.commands().phoneDeleteFile(path + "/" + kFolderPlaceholderName);  // absent: refused
    expectOk(s.commands().phoneRemoveFolder(path, 4), refused);
    if (!s.commands().transport().p2k05Active()) return;
    s.loadVolume(path);
    const auto left = s.catalogue().recordsBelow(path + "/");
    if (!left.empty() || findRecord(s, path)) throw CommandError{refused};
}

void runAttr(Session& s, const std::vector<std::string>& args) {
    s.probe();
    const std::string path = normalizePhonePath(args[0]);
    const uint16_t value = parseHex16(args[1], "attribute");
    PhoneSession session(s.commands().transport());
    expectOk(s.commands().phoneOpenFile(path, value), "the phone refused to open " + path);
    expectOk(s.commands().phoneCloseFile(), "the phone refused to close " + path);
}

void runRestart(Session& s, const std::vector<std::string>&) {
    s.probe();
    s.commands().phoneRestart();
}

// ---- seems ----------------------------------------------------------------------------

void runSeemGet(Session& s, const std::vector<std::string>& args) {
    s.probe();
    const uint16_t seem = parseHex16(args[0], "seem number");
    const uint16_t record = parseHex16(args[1], "record number");
    std::vector<uint8_t> reply;
    if (s.commands().phoneReadSeem(seem, record, 0, 0, reply) != 0) {
        throw CommandError{"the phone refused seem " + seemFileName(seem, record)};
    }
    std::vector<uint8_t> data(reply.begin() + (reply.empty() ? 0 : 1), reply.end());
    writePcFile(args.size() > 2 ? args[2] : seemFileName(seem, record), data,
                ExistingFile::Replace);
}

// A seem file longer or shorter than its record: what happens to the difference.
void warnSeemLength(Session& s, const SeemAddress& name, size_t fileSize) {
    std::vector<uint8_t> reply;
    if (s.commands().phoneReadSeem(name.seem, name.record, 0, 0, reply) != 0 || reply.empty()) {
        return;
    }
    const size_t record = reply.size() - 1;
    if (fileSize > record) {
        std::fprintf(stderr,
                     "warning: the file has %zu bytes, the record %zu: the %zu bytes "
                     "beyond the record are not written\n",
                     fileSize, record, fileSize - record);
    } else if (fileSize < record) {
        std::fprintf(stderr,
                     "warning: the file has %zu bytes, the record %zu: the record keeps "
                     "its own %zu bytes beyond the file\n",
                     fileSize, record, record - fileSize);
    }
}

void runSeemPut(Session& s, const std::vector<std::string>& args) {
    auto name = parseSeemFileName(baseName(args[0]));
    if (!name) throw CommandError{"Invalid seem filename Must be: xxxx_yyyy.seem"};
    std::string error;
    auto file = readWholeFile(args[0], error);
    if (!file) throw CommandError{error};
    s.probe();
    warnSeemLength(s, *name, file->size());
    if (writeSeemFromFile(s.commands(), *name, *file) != 0) {
        throw CommandError{"the phone refused seem " + baseName(args[0])};
    }
}

// A handler that reads its options from its words: it gets the operands, then each option
// given ("--csv FILE").
Handler withOptionWords(void (*run)(Session&, const std::vector<std::string>&)) {
    return [run](Session& s, const Invocation& invocation) {
        std::vector<std::string> words = invocation.operands;
        for (const auto& [name, value] : invocation.options) {
            words.push_back(name);
            if (!value.empty()) words.push_back(value);
        }
        run(s, words);
    };
}

}  // namespace

std::string Invocation::value(const std::string& option) const {
    auto found = options.find(option);
    return found == options.end() ? std::string() : found->second;
}

const std::vector<Command>& commandTable() {
    static const std::vector<Command> table = {
        {.name = "info", .help = "model, family, framing, volumes and free space", .run = runInfo},
        {.name = "ls",
         .help = "list a phone folder such as /a/mobile/",
         .operands = {{"PHONE_FOLDER"}},
         .run = runLs},
        {.name = "get",
         .help = "download a file, or a folder recursively",
         .operands = {{"PHONE_PATH"}, {"PC_PATH", false}},
         .run = runGet},
        {.name = "put",
         .help = "upload a file, or a folder recursively",
         .operands = {{"PC_PATH"}, {"PHONE_PATH"}},
         .run = runPut},
        {.name = "rm", .help = "delete a phone file", .operands = {{"PHONE_PATH"}}, .run = runRm},
        {.name = "mkdir",
         .help = "create a phone folder",
         .operands = {{"PHONE_PATH"}},
         .run = runMkdir},
        {.name = "rmdir",
         .help = "remove a phone folder",
         .operands = {{"PHONE_PATH"}},
         .run = runRmdir},
        {.name = "attr",
         .help = "set a phone file's attribute word",
         .operands = {{"PHONE_PATH"}, {"HEX"}},
         .run = runAttr},
        {.name = "seem-get",
         .help = "read a seem record (hexadecimal numbers)",
         .operands = {{"SEEM"}, {"RECORD"}, {"FILE", false}},
         .run = runSeemGet},
        {.name = "seem-put",
         .help = "write a seem file xxxx_yyyy.seem to the phone",
         .operands = {{"FILE"}},
         .run = runSeemPut},
        {.name = "seem-bit",
         .help = "get, set, clear or toggle one seem bit (hexadecimal numbers)",
         .operands = {{"SEEM"}, {"RECORD"}, {"OFFSET"}, {"BIT"}, {"ACTION"}},
         .run = runSeemBit},
        {.name = "seem-discover",
         .help = "list the seem numbers the phone answers",
         .options = {{"--write", "FILE", "keep them as a seem list in FILE"}},
         .run = runSeemDiscover},
        {.name = "seem-functions",
         .help = "each seem function with its bit's state on the phone",
         .operands = {{"CSV", false}},
         .run = runSeemFunctions},
        {.name = "seem-diff",
         .help = "compare seem records (a backup, a seem file or @phone); 0 same, 1 differ, 2 "
                 "trouble",
         .operands = {{"A"}, {"B"}},
         .options = {{"--json", nullptr, "print the differences as JSON"},
                     {"--csv", "FILE", "the seem functions file that names the bits"}},
         .run = withOptionWords(runSeemDiff),
         .connectsFirst = false},
        {.name = "restart", .help = "restart the phone", .run = runRestart},
        {.name = "run",
         .help = "run a batch package (.mrdk)",
         .operands = {{"FILE"}},
         .options = {{"--allow-shell", nullptr, "run its shell lines (##) too"}},
         .run = runPackage},
        {.name = "backup",
         .help = "back up every file and seem into DIR",
         .operands = {{"DIR"}},
         .options = {{"--discover", nullptr, "back up the seems a scan finds, not the seem list's"},
                     {"--seems-only", nullptr, "back up the seems alone"},
                     {"--verify", nullptr, "compare the phone with the backup in DIR instead"}},
         .run = runBackupCommand},
        {.name = "restore",
         .help = "put a backup back on the phone (seems only with --yes)",
         .operands = {{"DIR"}},
         .options = {{"--files", nullptr, "the files alone"},
                     {"--seems", nullptr, "the seems alone"},
                     {"--dry-run", nullptr, "tell what would change, change nothing"},
                     {"--yes", nullptr, "write the seems that differ"},
                     {"--force-model", nullptr, "write the seems onto a phone of another model"}},
         .run = runRestoreCommand},
        {.name = "detect",
         .help = "what the system and the phone show, for bug reports (writes nothing)",
         .options = {{"--report", "FILE", "also write the report into FILE"},
                     {"--json", nullptr, "print it as JSON"},
                     {"--switch", nullptr, "switch a modem or memory-card phone into P2k mode"}},
         .run = withOptionWords(runDetect),
         .connectsFirst = false},
        {.name = "mount",
         .help = "the phone as a folder until fusermount3 -u DIR",
         .operands = {{"DIR"}},
         .options = {{"-o", "ro", "mount read-only"}},
         .run = withOptionWords(runMount)},
    };
    return table;
}

}  // namespace mdk::cli
