#include "cli/commands.h"

#include <sys/stat.h>

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "base/hex_text.h"
#include "cli/run_package.h"
#include "cli/seem_commands.h"
#include "cli/backup_commands.h"
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
        throw CommandError{std::string("bad ") + what +
                           " (want 1 to 4 hexadecimal digits): " + text};
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
    std::printf("Model: %s\n", s.usblanModel().c_str());
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
    std::printf("Model: %s\n", model.c_str());
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

void runLs(Session& s, const std::vector<std::string>& args) {
    const std::string folder = folderPath(args[0]);
    s.loadVolume(folder);
    auto rows = s.catalogue().listFolder(folder);
    std::stable_sort(rows.begin(), rows.end(), [](const PhoneRow& a, const PhoneRow& b) {
        if (a.folder != b.folder) return a.folder;
        return strcasecmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    for (const auto& row : rows) {
        const std::string size = row.folder ? "< DIR >" : std::to_string(row.size);
        std::printf("%-40s %12s  %s\n", row.name.c_str(), size.c_str(),
                    row.folder ? "" : row.attributeText.c_str());
    }
}

// ---- get ------------------------------------------------------------------------------

constexpr uint32_t kFolderBit = 0x1000;

// A record's attribute word as the phone pane reads it (low bytes swapped in USBLAN mode).
uint32_t paneAttributes(Session& s, const CatalogueRecord& record) {
    return paneAttributeValue(record.attributeWord, s.context().runSettings.usblanP2k05());
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

void getFile(Session& s, const CatalogueRecord& record, std::string target) {
    if (isFolder(target)) target.append("/").append(baseName(record.path));
    const bool usblan = s.context().runSettings.usblanP2k05();
    const uint32_t attributes = paneAttributes(s, record);
    const uint32_t mode = openModeFromAttributeText(Catalogue::attributeText(attributes, usblan));
    auto data = downloadPhoneFile(s.commands(), record.path, mode, record.size);
    s.view().finishProgress();
    if (!data) throw CommandError{"download failed: " + record.path};
    writePcFile(target, *data, ExistingFile::Replace);
}

void getFolder(Session& s, const std::string& folder, const std::string& target) {
    std::vector<std::string> refused;
    auto items = planFolderDownload(s.catalogue().records(), folder,
                                    s.context().runSettings.usblanP2k05(), refused);
    for (const auto& path : refused) s.log().logLine("Refused unsafe phone path: " + path);
    int failures = 0;
    for (const auto& item : items) {
        const std::string pcPath = target + "/" + item.relativePcPath;
        std::string error;
        const std::string parent = item.folder ? pcPath : pcPath.substr(0, pcPath.rfind('/'));
        if (!makeFolders(parent, error)) {
            std::fprintf(stderr, "skipped %s: %s\n", item.phonePath.c_str(), error.c_str());
            ++failures;
            continue;
        }
        if (item.folder) continue;
        auto data = downloadPhoneFile(s.commands(), item.phonePath, item.openMode, item.size);
        s.view().finishProgress();
        if (!data) {
            std::fprintf(stderr, "download failed: %s\n", item.phonePath.c_str());
            ++failures;
        } else if (!writeFileSafely(pcPath, *data, ExistingFile::Keep, error)) {
            std::fprintf(stderr, "skipped %s\n", error.c_str());
        }
    }
    if (failures) throw CommandError{std::to_string(failures) + " file(s) not downloaded"};
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

void putFile(Session& s, const std::string& pcPath, const std::string& phonePath) {
    std::string error;
    auto data = readWholeFile(pcPath, error);
    if (!data) throw CommandError{error};
    s.probe();
    const int result = uploadPhoneFile(s.commands(), phonePath, *data);
    s.view().finishProgress();
    if (result != 0) throw CommandError{"upload failed: " + phonePath};
}

void runPut(Session& s, const std::vector<std::string>& args) {
    const std::string& pcPath = args[0];
    std::string phonePath = normalizePhonePath(args[1]);
    if (!isFolder(pcPath)) {
        if (phonePath.back() == '/') phonePath += baseName(pcPath);
        putFile(s, pcPath, phonePath);
        return;
    }
    auto files = listPcFilesBelow(pcPath);
    for (const auto& file : files) {
        putFile(s, file, folderUploadTarget(phonePath, pcPath, file));
    }
}

// ---- other file commands --------------------------------------------------------------

void expectOk(int result, const std::string& what) {
    if (result != 0) throw CommandError{what};
}

void runRm(Session& s, const std::vector<std::string>& args) {
    s.probe();
    const std::string path = normalizePhonePath(args[0]);
    expectOk(s.commands().phoneDeleteFile(path), "the phone refused to delete " + path);
}

void runMkdir(Session& s, const std::vector<std::string>& args) {
    s.probe();
    const std::string path = normalizePhonePath(args[0]);
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

void runSeemPut(Session& s, const std::vector<std::string>& args) {
    auto name = parseSeemFileName(baseName(args[0]));
    if (!name) throw CommandError{"Invalid seem filename Must be: xxxx_yyyy.seem"};
    std::string error;
    auto file = readWholeFile(args[0], error);
    if (!file) throw CommandError{error};
    s.probe();
    if (writeSeemFromFile(s.commands(), *name, *file) != 0) {
        throw CommandError{"the phone refused seem " + baseName(args[0])};
    }
}

}  // namespace

const std::vector<Command>& commandTable() {
    static const std::vector<Command> table = {
        {"info", "", "model, family, framing, volumes and free space", 0, 0, runInfo},
        {"ls", "FOLDER", "list a phone folder such as /a/mobile/", 1, 1, runLs},
        {"get", "PHONE_PATH [PC_PATH]", "download a file, or a folder recursively", 1, 2, runGet},
        {"put", "PC_PATH PHONE_PATH", "upload a file, or a folder recursively", 2, 2, runPut},
        {"rm", "PHONE_PATH", "delete a phone file", 1, 1, runRm},
        {"mkdir", "PHONE_PATH", "create a phone folder", 1, 1, runMkdir},
        {"rmdir", "PHONE_PATH", "remove a phone folder", 1, 1, runRmdir},
        {"attr", "PHONE_PATH HEX", "set a phone file's attribute word", 2, 2, runAttr},
        {"seem-get", "SEEM RECORD [FILE]", "read a seem record (hexadecimal numbers)", 2, 3,
         runSeemGet},
        {"seem-put", "FILE", "write a seem file xxxx_yyyy.seem to the phone", 1, 1, runSeemPut},
        {"seem-bit", "SEEM RECORD OFFSET BIT ACTION",
         "get, set, clear or toggle one seem bit (hexadecimal numbers)", 5, 5, runSeemBit},
        {"seem-discover", "[--write FILE]",
         "list the seem numbers the phone answers; --write FILE keeps them as a seem list", 0, 2,
         runSeemDiscover},
        {"seem-functions", "[CSV]", "each seem function with its bit's state on the phone", 0, 1,
         runSeemFunctions},
        {"restart", "", "restart the phone", 0, 0, runRestart},
        {"run", "FILE [--allow-shell]", "run a batch package (.mrdk)", 1, 2, runPackage},
        {"backup", "DIR [--discover] | --verify DIR",
         "back up every file and seem into DIR; --verify compares", 1, 2, runBackupCommand},
        {"restore", "DIR [--files] [--seems] [--dry-run] [--yes] [--force-model]",
         "put a backup back on the phone (seems only with --yes)", 1, 6, runRestoreCommand},
    };
    return table;
}

}  // namespace mdk::cli
