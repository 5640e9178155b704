#include <set>

#include "backup/backup_run.h"
#include "backup/phone_backup.h"
#include "backup/sha256.h"
#include "p2k/command_set.h"
#include "p2k/file_transfer.h"
#include "p2k/transport.h"
#include "platform/safe_file.h"
#include "seem/seem_file.h"

namespace mdk {
namespace {

class VerifyRun : BackupFolderRun<VerifyReport> {
public:
    VerifyRun(BackupPhone& phone, const std::string& folder, const RunControl& control)
        : BackupFolderRun(phone, folder, control) {}

    VerifyReport run() {
        if (!readBackup()) return report_;

        PhoneSession session(phone_.commands.transport());
        const PhoneIdentity identity = readPhoneIdentity(phone_);
        if (identity.model != manifest_.model) {
            differ("phone", "model is " + identity.model + ", the backup is of " + manifest_.model);
        }
        progress("Reading the phone", "", 0, 0);
        const PhoneListing listing = listWholePhone(phone_);
        verifyFiles(listing);
        if (!stopped()) verifySeems();
        return report_;
    }

private:
    void differ(const std::string& what, const std::string& how) {
        report_.differences.push_back(what + ": " + how);
    }

    void verifyFiles(const PhoneListing& listing) {
        size_t index = 0;
        for (const auto& [path, file] : manifest_.files) {
            if (stopped()) return;
            progress("Files", path, index++, manifest_.files.size());
            if (!file.vanished) verifyFile(path, file, listing);
        }
        for (const auto& [path, record] : listing.files) {
            auto it = manifest_.files.find(path);
            if (it == manifest_.files.end() || it->second.vanished) {
                differ(path, "on the phone, not in the backup");
            }
        }
    }

    void verifyFile(const std::string& path, const ManifestFile& file,
                    const PhoneListing& listing) {
        auto stored = storedFileName(path);
        std::string error = "unsafe phone path";
        if (!stored || !storedCopyWithHash(folder_, *stored, file.sha256, error)) {
            return differ(path, error);
        }
        auto it = listing.files.find(path);
        if (it == listing.files.end()) return differ(path, "no longer on the phone");
        const CatalogueRecord& record = it->second;
        if (record.size != file.listedSize) return differ(path, "size differs");
        // A copy shorter (or longer) than the phone listed is not a whole copy; a hidden
        // file's made-up size is only a bound.
        if (file.listedSize != kUnlistedFileSize && file.size != file.listedSize) {
            return differ(path, "the stored copy has " + std::to_string(file.size) +
                                    " bytes, the phone listed " + std::to_string(file.listedSize));
        }
        if (record.attributeWord != file.attributeWord) {
            return differ(path, "attribute word differs");
        }
        const auto hash = listedFileHash(phone_, record);
        if (!hash) return differ(path, downloadFailureText(phone_));
        if (*hash != file.sha256) return differ(path, "contents differ");
        ++report_.matched;
    }

    void verifySeems() {
        std::set<uint16_t> numbers;
        for (const auto& [key, seem] : manifest_.seems) numbers.insert(key.first);
        size_t index = 0;
        for (uint16_t number : numbers) {
            if (stopped()) return;
            progress("Seems", seemFileName(number, 1), index++, numbers.size());
            std::map<uint16_t, std::vector<uint8_t>> onPhone;
            for (auto& [record, data] : readSeemRecords(phone_, number)) {
                onPhone[record] = std::move(data);
            }
            verifySeem(number, onPhone);
        }
    }

    void verifySeem(uint16_t number, const std::map<uint16_t, std::vector<uint8_t>>& onPhone) {
        for (auto it = manifest_.seems.lower_bound({number, 0});
             it != manifest_.seems.end() && it->first.first == number; ++it) {
            const std::string name = seemFileName(number, it->first.second);
            std::string error;
            if (!storedCopyWithHash(folder_, storedSeemName(it->first), it->second.sha256, error)) {
                differ(name, error);
                continue;
            }
            auto phoneRecord = onPhone.find(it->first.second);
            if (phoneRecord == onPhone.end()) {
                differ(name, "the phone does not answer this record");
            } else if (sha256Hex(phoneRecord->second) != it->second.sha256) {
                differ(name, "contents differ");
            } else {
                ++report_.matched;
            }
        }
    }
};

}  // namespace

VerifyReport verifyBackup(BackupPhone& phone, const std::string& folder,
                          const RunControl& control) {
    return VerifyRun(phone, folder, control).run();
}

}  // namespace mdk
