#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "backup/manifest.h"
#include "p2k/catalogue.h"
#include "p2k/file_transfer.h"

namespace mdk {

class AnchoredFolder;
class Clock;
class CommandSet;
class SeemLists;
class RunSettings;

// What a backup, verify or restore run works with: the phone's command set and catalogue,
// the run-time settings (connection mode, search pattern, filter and file-count limit)
// and the clock for the progress.
struct BackupPhone {
    CommandSet& commands;
    Catalogue& catalogue;
    RunSettings& settings;
    Clock& clock;
};

// Where a run stands, for a progress line or bar.
struct RunProgress {
    std::string phase;  // "Reading the phone", "Files", "Seems", ...
    std::string item;   // the phone path or seem file at hand
    size_t index = 0;   // items done so far
    size_t count = 0;   // items of this phase
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    uint64_t elapsedMs = 0;  // since the phase began
};

// "12/300  45%  120.5 KB/s  0:32 left  /a/mobile/x.jpg" (speed and time once known).
std::string progressText(const RunProgress& progress);

// Receives the progress of a run; called on the thread that runs it.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    virtual void progress(const RunProgress& state) = 0;
};

// How a run is watched and stopped: the flag is polled between files and seem records.
struct RunControl {
    const std::atomic<bool>* cancel = nullptr;
    RunObserver* observer = nullptr;

    bool cancelled() const { return cancel && cancel->load(); }
};

// The phone as the manifest names it.
struct PhoneIdentity {
    std::string model;
    std::string family;
    std::string framing;
};
// Reads the identity seem (or, over USBLAN, the Bluetooth configuration). The caller has
// probed the command set.
PhoneIdentity readPhoneIdentity(BackupPhone& phone);

// True when the phone still answers a one-byte read of its identity seem (over USBLAN:
// its volume list). Tells a lost link from a file or seem the phone refuses.
bool phoneAnswers(BackupPhone& phone);

// Every file and folder of every volume the phone lists, by phone path.
struct PhoneListing {
    std::map<std::string, CatalogueRecord> files;
    std::map<std::string, uint32_t> folders;  // attribute word
};
// Loads the catalogue of each volume with the pattern "/x/*.*", the filename filter off
// and no file-count limit (all three put back afterwards). A volume whose search fails
// adds nothing.
PhoneListing listWholePhone(BackupPhone& phone);

// The open value of a download: the attribute digits of the listed word.
uint32_t downloadOpenMode(const BackupPhone& phone, const CatalogueRecord& record);
// The attribute word as the pane reads it (the value that sets it again on restore).
uint32_t listedAttributes(const BackupPhone& phone, uint32_t attributeWord);

// Downloads one listed file; nullopt when any step fails, a file shorter than listed
// included.
std::optional<std::vector<uint8_t>> downloadListedFile(BackupPhone& phone,
                                                       const CatalogueRecord& record);
// The download of one listed file.
PhoneDownload listedDownload(const BackupPhone& phone, const CatalogueRecord& record);
// The SHA-256 of a listed file as the phone sends it now, taken block by block; nullopt
// when the download fails.
std::optional<std::string> listedFileHash(BackupPhone& phone, const CatalogueRecord& record);
// Why the last download failed, for a report line: "download failed", or the phone's
// short file ("the phone sent N of the M bytes it listed").
std::string downloadFailureText(BackupPhone& phone);

// The records of one seem: 0001, 0002, ... up to the first the phone does not answer
// (at most 00FE, the last a seem file can name).
std::vector<std::pair<uint16_t, std::vector<uint8_t>>> readSeemRecords(BackupPhone& phone,
                                                                       uint16_t seem);

// The seem numbers of the seem list, in its order, each once; entries that are not
// hexadecimal numbers are left out.
std::vector<uint16_t> seemListNumbers(const SeemLists& lists);

// The name a backup folder keeps a phone file under: "files" followed by the phone path.
// nullopt for a path that could leave DIR/files: not absolute, or with an empty, "." or
// ".." component, or a control character.
std::optional<std::string> storedFileName(const std::string& phonePath);
// DIR/ followed by storedFileName.
std::optional<std::string> storedFilePath(const std::string& folder, const std::string& phonePath);
// "seems/SSSS_RRRR.seem", and DIR/ followed by it.
std::string storedSeemName(SeemKey key);
std::string storedSeemPath(const std::string& folder, SeemKey key);
// The bytes stored under name in the backup folder when they still have the SHA-256 the
// manifest names; nullopt with error set when the copy is missing, damaged, not a plain
// file or reached through a link.
std::optional<std::vector<uint8_t>> storedCopyWithHash(const AnchoredFolder& folder,
                                                       const std::string& name,
                                                       const std::string& sha256,
                                                       std::string& error);

// The current time as "2026-12-10T05:07:11Z".
std::string utcTimestamp();

}  // namespace mdk
