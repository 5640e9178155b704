#pragma once
#include <optional>
#include <string>

#include "backup/backup_phone.h"
#include "seem/seem_diff.h"

namespace mdk {

// Seem records as a comparison takes them: from a backup folder (a seems-only backup or
// a whole one; both keep their seems the same way), from one seem file, or from the phone.

struct SeemSnapshot {
    SeemRecordSet records;
    std::string model;    // from a backup's manifest; empty otherwise
    std::string framing;  // "P2k", "P2k05", "P2k05 over USBLAN"; empty for a seem file
};

// True for a framing named by a manifest or the phone that uses P2k05 (also over USBLAN).
bool p2k05Framing(const std::string& framing);

// Every seem record a backup folder's manifest lists, each checked against its length and
// SHA-256. nullopt with error set when the folder holds no manifest, the manifest cannot
// be read, or a stored record is missing or damaged.
std::optional<SeemSnapshot> readBackupSeems(const std::string& folder, std::string& error);

// One seem file "SSSS_RRRR.seem" (any folder): the record its name gives. nullopt with
// error set when the name is not a seem file's or the file cannot be read.
std::optional<SeemSnapshot> readSeemFileSnapshot(const std::string& path, std::string& error);

// The phone's records to compare with other: every record of each seem other holds
// (wholeSeems), or only the records other holds. nullopt with error set when the phone
// stops answering meanwhile, so that a lost link never reads as records missing.
std::optional<SeemRecordSet> readPhoneSeems(BackupPhone& phone, const SeemRecordSet& other,
                                            bool wholeSeems, std::string& error);

}  // namespace mdk
