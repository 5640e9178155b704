#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "backup/backup_phone.h"

namespace mdk {

// Counts of one kind of item (files or seem records) in a backup run.
struct BackupTally {
    int added = 0;
    int changed = 0;
    int unchanged = 0;
    int vanished = 0;
    int failed = 0;
};

struct BackupSummary {
    std::string error;  // set when the run could not start (the folder, the manifest)
    BackupTally files;
    BackupTally seems;
    std::vector<std::string> failures;  // "phone path: reason"
    bool cancelled = false;
    bool linkLost = false;
    bool seemsOnly = false;  // the run stored seem records only

    bool ok() const {
        return error.empty() && !cancelled && !linkLost && files.failed == 0 && seems.failed == 0;
    }
};

struct BackupOptions {
    std::string folder;                 // DIR
    std::vector<uint16_t> seemNumbers;  // the seems to store (Seem.lst or a discovery)
    // Only the seem records: the phone's files are neither listed nor read, and the files
    // a manifest of the folder already lists stay as they are.
    bool seemsOnly = false;
};

// Backs the whole phone up into DIR: every listed file below DIR/files, every record of
// the given seems below DIR/seems, and DIR/manifest.json. Into a folder that holds a
// backup already, only new files and files whose size or attribute word changed are
// downloaded; files gone from the phone stay and are marked vanished. The manifest only
// ever lists what was stored completely; it is written at most once a second while
// files are stored, and at the end, also when the run is cancelled or the link is lost. Holds the
// phone-session lock for the whole run.
BackupSummary runBackup(BackupPhone& phone, const BackupOptions& options,
                        const RunControl& control);

// "Files: 3 new, 1 changed, 250 unchanged, 2 vanished, 0 failed" and the same for seems.
std::string summaryText(const BackupSummary& summary);

struct VerifyReport {
    std::string error;
    int matched = 0;
    std::vector<std::string> differences;  // "phone path: what differs"
    bool cancelled = false;

    bool ok() const { return error.empty() && !cancelled && differences.empty(); }
};

// Reads the phone again and compares every file and seem record with the manifest (and
// the stored copies with their hashes). Writes nothing.
VerifyReport verifyBackup(BackupPhone& phone, const std::string& folder, const RunControl& control);

}  // namespace mdk
