#include "backup/phone_restore.h"

#include <set>

#include "backup/backup_run.h"
#include "config/run_settings.h"
#include "p2k/command_set.h"
#include "p2k/file_transfer.h"
#include "p2k/transport.h"
#include "platform/safe_file.h"
#include "seem/seem_file.h"

namespace mdk {
namespace {

constexpr uint32_t kFolderOpenValue = 4;

// The open value that gives a file its attribute word back: the whole listed word, or,
// for a word without an owner byte, its attribute bits alone.
uint32_t attributeOpenValue(uint32_t listedWord) {
    return listedWord > 0xFFFF ? listedWord : (listedWord >> 8) & 0xFFFF;
}

class RestoreRun : BackupFolderRun<RestoreReport> {
public:
    RestoreRun(BackupPhone& phone, const RestoreOptions& options, const RunControl& control)
        : BackupFolderRun(phone, options.folder, control), options_(options) {}

    RestoreReport run() {
        if (!readBackup()) return report_;

        PhoneSession session(phone_.commands.transport());
        phoneModel_ = readPhoneIdentity(phone_).model;
        if (options_.files) restoreFiles();
        if (options_.seems && !stopped()) restoreSeems();
        return report_;
    }

private:
    void fail(const std::string& what, const std::string& reason) {
        report_.failures.push_back(what + ": " + reason);
    }

    // The stored bytes of a manifest entry, when they still have the manifest's hash.
    std::optional<std::vector<uint8_t>> storedBytes(const std::string& what,
                                                    const std::string& name,
                                                    const std::string& sha256) {
        std::string error;
        auto bytes = storedCopyWithHash(folder_, name, sha256, error);
        if (!bytes) fail(what, error + "; not put back");
        return bytes;
    }

    // ---- files ----------------------------------------------------------------------

    void restoreFiles() {
        progress("Reading the phone", "", 0, 0);
        const PhoneListing listing = listWholePhone(phone_);
        std::set<std::string> present;  // folders that exist or come with an upload
        for (const auto& [path, word] : listing.folders) present.insert(path);
        size_t index = 0;
        for (const auto& [path, file] : manifest_.files) {
            if (stopped()) return;
            progress("Files", path, index++, manifest_.files.size());
            if (file.vanished) continue;
            restoreFile(path, file, listing);
            for (size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0;
                 slash = path.rfind('/', slash - 1)) {
                present.insert(path.substr(0, slash));
            }
        }
        for (const auto& [path, folder] : manifest_.folders) {
            if (stopped()) return;
            if (!present.count(path)) makeFolder(path);
        }
    }

    void restoreFile(const std::string& path, const ManifestFile& file,
                     const PhoneListing& listing) {
        auto stored = storedFileName(path);
        if (!stored) return fail(path, "unsafe phone path");
        auto bytes = storedBytes(path, *stored, file.sha256);
        if (!bytes) return;
        auto onPhone = listing.files.find(path);
        if (onPhone != listing.files.end() && phoneHoldsSame(onPhone->second, *bytes)) {
            ++report_.filesSame;
            if (onPhone->second.attributeWord != file.attributeWord) setAttributes(path, file);
            return;
        }
        report_.uploaded.push_back(path);
        if (options_.dryRun) return;
        if (uploadPhoneFile(phone_.commands, path, *bytes) != 0) {
            report_.uploaded.pop_back();
            // A file stopped by Cancel was removed again; the run ends as cancelled.
            if (control_.cancelled()) return;
            return fail(path, "upload failed");
        }
        setAttributes(path, file);
    }

    bool phoneHoldsSame(const CatalogueRecord& record, const std::vector<uint8_t>& bytes) {
        if (record.size != bytes.size()) return false;
        auto data = downloadListedFile(phone_, record);
        return data && *data == bytes;
    }

    void setAttributes(const std::string& path, const ManifestFile& file) {
        report_.attributesSet.push_back(path);
        if (options_.dryRun || phone_.settings.read().usblanP2k05()) return;
        const uint32_t value = attributeOpenValue(listedAttributes(phone_, file.attributeWord));
        PhoneSession session(phone_.commands.transport());
        const bool ok = phone_.commands.phoneOpenFile(path, value) == 0 &&
                        phone_.commands.phoneCloseFile() == 0;
        if (!ok) {
            report_.attributesSet.pop_back();
            fail(path, "the phone refused the attribute word");
        }
    }

    void makeFolder(const std::string& path) {
        if (!storedFileName(path)) return fail(path, "unsafe phone path");
        report_.foldersMade.push_back(path);
        if (options_.dryRun) return;
        // Parents that exist already refuse; only the folder itself must succeed.
        for (size_t slash = path.find('/', 1); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            phone_.commands.phoneCreateFolder(path.substr(0, slash), kFolderOpenValue);
        }
        if (phone_.commands.phoneCreateFolder(path, kFolderOpenValue) != 0) {
            report_.foldersMade.pop_back();
            fail(path, "the phone refused to create the folder");
        }
    }

    // ---- seems ----------------------------------------------------------------------

    struct SeemWrite {
        SeemKey key;
        std::vector<uint8_t> data;
    };

    void restoreSeems() {
        std::vector<SeemWrite> writes = seemsThatDiffer();
        if (writes.empty() || stopped()) return;
        std::vector<std::string> names;
        for (const auto& w : writes) names.push_back(seemFileName(w.key.first, w.key.second));
        if (phoneModel_ != manifest_.model && !options_.forceModel) {
            report_.otherModel = true;
            report_.seemsRefused = "the backup is of " + manifest_.model + ", the phone is " +
                                   (phoneModel_.empty() ? "unknown" : phoneModel_) +
                                   ": seems not written";
        }
        if (options_.dryRun) {
            report_.seemsWritten = names;
            return;
        }
        if (report_.otherModel) return;
        if (!options_.confirmSeems || !options_.confirmSeems(names)) {
            report_.seemsRefused = "seems not written: not confirmed";
            return;
        }
        for (size_t i = 0; i < writes.size() && !stopped(); ++i) {
            progress("Writing seems", names[i], i, writes.size());
            const auto& [key, data] = writes[i];
            if (phone_.commands.phoneWriteSeem(key.first, key.second, 0, data) == 0) {
                report_.seemsWritten.push_back(names[i]);
            } else {
                fail(names[i], "the phone refused the record");
            }
        }
    }

    std::vector<SeemWrite> seemsThatDiffer() {
        std::vector<SeemWrite> writes;
        std::set<uint16_t> numbers;
        for (const auto& [key, seem] : manifest_.seems) numbers.insert(key.first);
        size_t index = 0;
        for (uint16_t number : numbers) {
            if (stopped()) break;
            progress("Reading seems", seemFileName(number, 1), index++, numbers.size());
            std::map<uint16_t, std::vector<uint8_t>> onPhone;
            for (auto& [record, data] : readSeemRecords(phone_, number)) {
                onPhone[record] = std::move(data);
            }
            for (auto it = manifest_.seems.lower_bound({number, 0});
                 it != manifest_.seems.end() && it->first.first == number; ++it) {
                compareSeem(it->first, it->second, onPhone, writes);
            }
        }
        return writes;
    }

    void compareSeem(SeemKey key, const ManifestSeem& seem,
                     const std::map<uint16_t, std::vector<uint8_t>>& onPhone,
                     std::vector<SeemWrite>& writes) {
        const std::string name = seemFileName(key.first, key.second);
        auto bytes = storedBytes(name, storedSeemName(key), seem.sha256);
        if (!bytes) return;
        auto phoneRecord = onPhone.find(key.second);
        if (phoneRecord == onPhone.end()) {
            return fail(name, "the phone does not answer this record");
        }
        if (phoneRecord->second == *bytes) {
            ++report_.seemsSame;
            return;
        }
        // A record's length is the phone's: a stored record of another length is not
        // forced onto it.
        if (phoneRecord->second.size() != bytes->size() || bytes->empty()) {
            return fail(name, "the phone's record is " +
                                  std::to_string(phoneRecord->second.size()) +
                                  " bytes long, the stored one " + std::to_string(bytes->size()));
        }
        writes.push_back({key, std::move(*bytes)});
    }

    const RestoreOptions& options_;
    std::string phoneModel_;
};

void listLines(std::string& text, const char* label, const std::vector<std::string>& items) {
    for (const auto& item : items) text += std::string(label) + " " + item + "\n";
}

}  // namespace

RestoreReport restoreBackup(BackupPhone& phone, const RestoreOptions& options,
                            const RunControl& control) {
    return RestoreRun(phone, options, control).run();
}

std::string restoreText(const RestoreReport& report, bool dryRun) {
    std::string text;
    listLines(text, dryRun ? "would upload" : "uploaded", report.uploaded);
    listLines(text, dryRun ? "would set attributes of" : "set attributes of", report.attributesSet);
    listLines(text, dryRun ? "would make folder" : "made folder", report.foldersMade);
    listLines(text, dryRun ? "would write seem" : "wrote seem", report.seemsWritten);
    text += "Files: " + std::to_string(report.uploaded.size()) +
            (dryRun ? " to upload, " : " uploaded, ") + std::to_string(report.filesSame) +
            " already on the phone\n";
    text += "Seem records: " + std::to_string(report.seemsWritten.size()) +
            (dryRun ? " to write, " : " written, ") + std::to_string(report.seemsSame) +
            " already equal\n";
    if (!report.seemsRefused.empty()) text += report.seemsRefused + "\n";
    if (report.cancelled) text += "Stopped: cancelled.\n";
    return text;
}

}  // namespace mdk
