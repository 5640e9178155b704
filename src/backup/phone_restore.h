#pragma once
#include <functional>
#include <string>
#include <vector>

#include "backup/backup_phone.h"

namespace mdk {

struct RestoreOptions {
    std::string folder;  // DIR
    bool files = true;
    bool seems = true;
    bool dryRun = false;      // read the phone and tell what would be done; write nothing
    bool forceModel = false;  // write seems even from a backup of another model
    // Asked once before the first seem record is written, with the records to write
    // ("0032_0001.seem"); no seem is written without a yes.
    std::function<bool(const std::vector<std::string>& records)> confirmSeems;
};

struct RestoreReport {
    std::string error;
    std::vector<std::string> uploaded;       // phone paths (dry run: to upload)
    std::vector<std::string> attributesSet;  // files whose attribute word was (would be) set
    std::vector<std::string> foldersMade;    // empty folders made (would be made)
    std::vector<std::string> seemsWritten;   // seem files (dry run: to write)
    int filesSame = 0;
    int seemsSame = 0;
    std::string seemsRefused;  // why seem records that differ were not (would not be) written
    bool otherModel = false;   // refused because the phone is not of the backup's model
    std::vector<std::string> failures;
    bool cancelled = false;

    bool ok() const {
        return error.empty() && failures.empty() && seemsRefused.empty() && !cancelled;
    }
};

// Puts a backup back on the phone: files that the phone does not hold with the same size
// and bytes are uploaded to their paths, with their attribute words; missing empty
// folders are made; seem records are written only where the phone's differ, only after
// confirmation, and only onto a phone of the backup's model unless forced. Nothing on the
// phone is ever deleted. A stored copy whose hash no longer matches the manifest is not
// put back. Holds the phone-session lock for the whole run.
RestoreReport restoreBackup(BackupPhone& phone, const RestoreOptions& options,
                            const RunControl& control);

// The lines that tell what a restore did (or, for a dry run, would do).
std::string restoreText(const RestoreReport& report, bool dryRun);

}  // namespace mdk
