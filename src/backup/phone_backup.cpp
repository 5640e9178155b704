#include "backup/phone_backup.h"

#include <filesystem>
#include <set>

#include "backup/sha256.h"
#include "base/clock.h"
#include "p2k/command_set.h"
#include "p2k/file_transfer.h"
#include "p2k/transport.h"
#include "platform/safe_file.h"
#include "seem/seem_file.h"

namespace mdk {
namespace {

// Between stored files the manifest is written at most once a second: each write is
// synced to disk, which costs more than a small file's download.
constexpr uint64_t kManifestIntervalMs = 1000;

bool storedCopyIntact(const std::string& path, uint32_t size) {
    std::error_code error;
    const auto stored = std::filesystem::file_size(path, error);
    return !error && stored == size;
}

// Writes bytes to path, creating its folders first.
bool storeBytes(const std::string& path, std::span<const uint8_t> bytes, std::string& error) {
    return makeFolders(path.substr(0, path.rfind('/')), error) &&
           writeFileSafely(path, bytes, ExistingFile::Replace, error);
}

class BackupRun {
public:
    BackupRun(BackupPhone& phone, const BackupOptions& options, const RunControl& control)
        : phone_(phone), options_(options), control_(control) {}

    BackupSummary run() {
        std::string error;
        auto manifest = readManifest(options_.folder, error);
        if (!manifest) return failed(error);
        manifest_ = std::move(*manifest);
        if (!makeFolders(options_.folder, error)) return failed(error);

        PhoneSession session(phone_.commands.transport());
        const PhoneIdentity identity = readPhoneIdentity(phone_);
        if (identity.model.empty()) return failed("the phone does not tell its model");
        if (!manifest_.model.empty() && manifest_.model != identity.model) {
            return failed(options_.folder + " holds a backup of another phone (" + manifest_.model +
                          ")");
        }
        manifest_.model = identity.model;
        manifest_.family = identity.family;
        manifest_.framing = identity.framing;
        manifest_.date = utcTimestamp();

        summary_.seemsOnly = options_.seemsOnly;
        if (!options_.seemsOnly && !backUpFiles()) return summary_;
        if (!stopped()) backUpSeems();
        saveManifest();
        return summary_;
    }

private:
    BackupSummary failed(const std::string& error) {
        summary_.error = error;
        return summary_;
    }

    bool stopped() {
        if (control_.cancelled()) summary_.cancelled = true;
        return summary_.cancelled || summary_.linkLost || !summary_.error.empty();
    }

    void report(const std::string& phase, const std::string& item, size_t index, size_t count) {
        if (!control_.observer) return;
        control_.observer->progress({phase, item, index, count, bytesDone_, bytesTotal_,
                                     phone_.clock.nowMs() - phaseStart_});
    }

    void fail(BackupTally& tally, const std::string& what, const std::string& reason) {
        ++tally.failed;
        summary_.failures.push_back(what + ": " + reason);
    }

    // Files whose stored copy is current are kept; the others are planned for download.
    std::vector<const CatalogueRecord*> planFiles(const PhoneListing& listing) {
        std::vector<const CatalogueRecord*> wanted;
        for (const auto& [path, record] : listing.files) {
            auto stored = storedFilePath(options_.folder, path);
            if (!stored) {
                fail(summary_.files, path, "unsafe phone path, not stored");
                continue;
            }
            auto it = manifest_.files.find(path);
            const bool current = it != manifest_.files.end() && !it->second.vanished &&
                                 it->second.listedSize == record.size &&
                                 it->second.attributeWord == record.attributeWord &&
                                 storedCopyIntact(*stored, it->second.size);
            if (current) {
                ++summary_.files.unchanged;
            } else {
                wanted.push_back(&record);
                bytesTotal_ += record.size;
            }
        }
        for (auto& [path, file] : manifest_.files) {
            if (listing.files.count(path)) continue;
            file.vanished = true;
            ++summary_.files.vanished;
        }
        manifest_.folders.clear();
        for (const auto& [path, word] : listing.folders) {
            if (storedFilePath(options_.folder, path)) manifest_.folders[path] = {word};
        }
        return wanted;
    }

    // False when the phone listed no files where the folder holds some: the run stops.
    bool backUpFiles() {
        report("Reading the phone", "", 0, 0);
        const PhoneListing listing = listWholePhone(phone_);
        if (listing.files.empty() && !manifest_.files.empty()) {
            failed("the phone listed no files; the backup is left as it was");
            return false;
        }
        const auto wanted = planFiles(listing);
        phaseStart_ = phone_.clock.nowMs();
        for (size_t i = 0; i < wanted.size() && !stopped(); ++i) {
            report("Files", wanted[i]->path, i, wanted.size());
            if (!backUpFile(*wanted[i]) && !phoneAnswers(phone_)) summary_.linkLost = true;
            bytesDone_ += wanted[i]->size;
        }
        report("Files", "", wanted.size(), wanted.size());
        return true;
    }

    // Streams one file into a temporary file beside its stored copy, put in place once
    // whole. False when the phone side failed.
    bool backUpFile(const CatalogueRecord& record) {
        const std::string stored = *storedFilePath(options_.folder, record.path);
        std::string error;
        if (!makeFolders(stored.substr(0, stored.rfind('/')), error)) {
            fail(summary_.files, record.path, error);
            return true;
        }
        PendingFile pending;
        Sha256 hash;
        const auto received =
            downloadIntoPendingFile(phone_.commands, listedDownload(phone_, record), stored,
                                    pending, error, [&hash](std::span<const uint8_t> block) {
                                        hash.update(block);
                                        return true;
                                    });
        // A file stopped by Cancel is not a failure: the run ends as cancelled.
        if (!received && control_.cancelled()) return true;
        if (!received) {
            // A refusal on the PC side leaves no failure of the phone's: the phone answered.
            const bool phoneSide = phone_.commands.transport().failure().kind != FailureKind::None;
            fail(summary_.files, record.path, phoneSide ? downloadFailureText(phone_) : error);
            return !phoneSide;
        }
        auto it = manifest_.files.find(record.path);
        const bool known = it != manifest_.files.end();
        if (known) {
            // The old entry goes before its copy is replaced: the manifest never names
            // bytes that are not on disk.
            manifest_.files.erase(it);
            saveManifest();
        }
        if (!pending.commit(ExistingFile::Replace, error)) {
            fail(summary_.files, record.path, error);
            return true;  // the phone answered; the PC side failed
        }
        manifest_.files[record.path] = {static_cast<uint32_t>(*received), record.size,
                                        record.attributeWord, hash.hex(), false};
        ++(known ? summary_.files.changed : summary_.files.added);
        saveManifestSometimes();
        return true;
    }

    void backUpSeems() {
        std::set<SeemKey> seen;
        bytesDone_ = bytesTotal_ = 0;
        phaseStart_ = phone_.clock.nowMs();
        const auto& numbers = options_.seemNumbers;
        for (size_t i = 0; i < numbers.size() && !stopped(); ++i) {
            report("Seems", seemFileName(numbers[i], 1), i, numbers.size());
            const auto records = readSeemRecords(phone_, numbers[i]);
            // A seem without records is one this phone does not have, unless the phone
            // has stopped answering altogether.
            if (records.empty() && !phoneAnswers(phone_)) summary_.linkLost = true;
            for (auto& [record, data] : records) {
                seen.insert({numbers[i], record});
                storeSeem({numbers[i], record}, data);
            }
        }
        if (stopped()) return;
        for (const auto& [key, seem] : manifest_.seems) {
            if (!seen.count(key)) ++summary_.seems.vanished;
        }
    }

    void storeSeem(SeemKey key, const std::vector<uint8_t>& data) {
        const std::string hash = sha256Hex(data);
        const std::string path = storedSeemPath(options_.folder, key);
        auto it = manifest_.seems.find(key);
        const bool known = it != manifest_.seems.end();
        if (known && it->second.sha256 == hash && storedCopyIntact(path, it->second.length)) {
            ++summary_.seems.unchanged;
            return;
        }
        if (known) {
            manifest_.seems.erase(it);
            saveManifest();
        }
        std::string error;
        if (!storeBytes(path, data, error)) {
            fail(summary_.seems, path, error);
            return;
        }
        manifest_.seems[key] = {static_cast<uint32_t>(data.size()), hash};
        ++(known ? summary_.seems.changed : summary_.seems.added);
        saveManifestSometimes();
    }

    void saveManifestSometimes() {
        if (phone_.clock.nowMs() - lastSave_ >= kManifestIntervalMs) saveManifest();
    }

    void saveManifest() {
        lastSave_ = phone_.clock.nowMs();
        std::string error;
        // Without a manifest nothing more is stored: the run stops.
        if (!writeManifest(options_.folder, manifest_, error) && summary_.error.empty()) {
            summary_.error = error;
        }
    }

    BackupPhone& phone_;
    const BackupOptions& options_;
    const RunControl& control_;
    Manifest manifest_;
    BackupSummary summary_;
    uint64_t bytesDone_ = 0;
    uint64_t bytesTotal_ = 0;
    uint64_t phaseStart_ = 0;
    uint64_t lastSave_ = 0;
};

std::string tallyText(const char* what, const BackupTally& t) {
    return std::string(what) + ": " + std::to_string(t.added) + " new, " +
           std::to_string(t.changed) + " changed, " + std::to_string(t.unchanged) + " unchanged, " +
           std::to_string(t.vanished) + " vanished, " + std::to_string(t.failed) + " failed";
}

}  // namespace

BackupSummary runBackup(BackupPhone& phone, const BackupOptions& options,
                        const RunControl& control) {
    return BackupRun(phone, options, control).run();
}

std::string summaryText(const BackupSummary& summary) {
    std::string text = summary.seemsOnly ? "" : tallyText("Files", summary.files) + "\n";
    text += tallyText("Seem records", summary.seems) + "\n";
    if (summary.linkLost) text += "Stopped: the phone stopped answering.\n";
    if (summary.cancelled) text += "Stopped: cancelled.\n";
    return text;
}

}  // namespace mdk
