#pragma once
#include <string>

#include "backup/backup_phone.h"
#include "backup/manifest.h"
#include "platform/safe_file.h"

namespace mdk {

// What the runs that start from an existing backup share (restore and verify): the
// backup's manifest, the stop flag and the progress. Report has an error text and a
// cancelled flag.
template <typename Report>
class BackupFolderRun {
protected:
    BackupFolderRun(BackupPhone& phone, const std::string& folder, const RunControl& control)
        : phone_(phone), folder_(folder, false), control_(control) {}

    // Reads the folder's manifest; false, with the report's error set, when it cannot be
    // read or names no phone model (no backup there).
    bool readBackup() {
        std::string error;
        auto manifest = readManifest(folder_, error);
        if (!manifest) return fail(error);
        if (manifest->model.empty()) return fail("no backup in " + folder_.path());
        manifest_ = std::move(*manifest);
        return true;
    }

    // True once Cancel was pressed; the report then tells that the run was cancelled.
    bool stopped() {
        if (control_.cancelled()) report_.cancelled = true;
        return report_.cancelled;
    }

    void progress(const std::string& phase, const std::string& item, size_t index, size_t count) {
        if (control_.observer) control_.observer->progress({phase, item, index, count});
    }

    BackupPhone& phone_;
    const AnchoredFolder folder_;  // read without following links inside it
    const RunControl& control_;
    Manifest manifest_;
    Report report_;

private:
    bool fail(const std::string& error) {
        report_.error = error;
        return false;
    }
};

}  // namespace mdk
