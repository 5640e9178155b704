#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mdk {

class Transport;
class EventLog;
class Clock;
class RunSettings;
class TransferWatch;

// The main window's progress bar (control 1014), stepped by phone operations. Called from
// worker threads: the GUI implementation posts to its own thread.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setRange(int low, int high) = 0;
    virtual void setPosition(int position) = 0;
    virtual void step() = 0;
};

// Each phone operation as one or more P2k exchanges: payload layout, command code, reply
// reading and the success rule. Results: 0 success, non-zero (-1) failure, unless stated.
// Multi-exchange operations hold the phone-session lock for their whole length.
class CommandSet {
public:
    static constexpr uint16_t kReadSeem = 0x20;
    static constexpr uint16_t kRestart = 0x22;
    static constexpr uint16_t kWriteSeem = 0x2F;
    static constexpr uint16_t kSessionStep2 = 0x39;
    static constexpr uint16_t kFileSystem = 0x4A;
    static constexpr uint16_t kSessionStep1 = 0x96;
    static constexpr size_t kSeemWriteMax = 10000;
    static constexpr size_t kFileBlock = 1024;

    // File-system sub-commands (the first 4 payload bytes of command 0x4A).
    enum Sub : uint32_t {
        kOpen = 0,
        kRead = 1,
        kWrite = 2,
        kSeek = 3,
        kClose = 4,
        kDelete = 5,
        kSearchStart = 7,
        kSearchNext = 8,
        kListVolumes = 10,
        kFreeSpace = 11,
        kCreateFolder = 14,
        kRemoveFolder = 15,
    };

    CommandSet(Transport& transport, EventLog& log, RunSettings& settings, Clock& clock)
        : transport_(transport), log_(log), settings_(settings), clock_(clock) {}

    void setProgress(ProgressSink* progress) { progress_ = progress; }
    ProgressSink* progress() const { return progress_; }
    // File reads and writes report each block to the watch and stop between two blocks
    // once it asks them to (the failure is then FailureKind::Cancelled).
    void setTransferWatch(TransferWatch* watch) { watch_ = watch; }
    TransferWatch* transferWatch() const { return watch_; }
    // Checked transfers: an upload is read back and compared, a download's size compared
    // with the size the catalogue lists (see file_transfer.h).
    void setVerifyTransfers(bool on) { verify_ = on; }
    bool verifyTransfers() const { return verify_; }

    int phoneOpenFile(const std::string& name, uint32_t value);
    // Reads size bytes from the open file into buffer (resized to what arrived).
    // fileReadTotal() tells how many bytes came; 0 after a failure.
    int phoneReadFile(std::vector<uint8_t>& buffer, uint32_t size);
    // Where the blocks of a file read go as they arrive; false stops the read (a failure;
    // the sink notes why).
    using BlockSink = std::function<bool(std::span<const uint8_t>)>;
    // The same read, each block handed to sink and not kept: memory stays one block.
    int phoneReadFile(uint32_t size, const BlockSink& sink);
    int phoneWriteFile(std::span<const uint8_t> data);
    int phoneSeekFile(uint32_t offset, uint8_t origin);
    int phoneCloseFile();
    int phoneDeleteFile(const std::string& name);
    int phoneCreateFolder(const std::string& name, uint32_t value);
    int phoneRemoveFolder(const std::string& name, uint32_t value);
    // Search start: the match count (> 0), or -1. currentVolumeLetter is used by the
    // volume form.
    int phoneSearchStart(const std::string& pattern, char currentVolumeLetter);
    // Search next: the reply data (one block of records) into out. tuning 0 sends no
    // fifth byte.
    int phoneSearchNext(uint8_t tuning, std::vector<uint8_t>& out);
    // The volume list (16-bit big-endian units), cut to 512 bytes.
    int phoneListVolumes(std::vector<uint8_t>& buffer);
    // Free bytes of a volume such as "/a"; nullopt on failure (a reported 0 included).
    // reportedZero, when given, tells whether the phone answered 0.
    std::optional<uint32_t> phoneFreeSpace(const std::string& volume, bool* reportedZero = nullptr);
    // The reply (a status byte, then the record's data) goes to reply; after a success it
    // holds at least the status byte.
    int phoneReadSeem(uint16_t seem, uint16_t record, uint16_t offset, uint16_t count,
                      std::vector<uint8_t>& reply);
    int phoneWriteSeem(uint16_t seem, uint16_t record, uint16_t offset,
                       std::span<const uint8_t> data);
    void phoneRestart();
    void runSessionSequence();
    int switchToAtMode();
    // Chooses the framing (classic or P2k05) and the phone family (GSM or CDMA).
    void probeCommandSet();

    // The named semaphore that exists while a phone file is written (the companion
    // program's signal to hold off). Tests that run side by side give each its own name.
    void setSuspendSemaphoreName(std::string name) { suspendSemaphore_ = std::move(name); }

    bool cdmaPhone() const { return cdmaPhone_; }
    void setCdmaPhone(bool on) { cdmaPhone_ = on; }
    uint32_t fileReadTotal() const { return fileReadTotal_; }
    // The bytes the last file write got accepted before it ended or failed.
    uint32_t fileWriteTotal() const { return fileWriteTotal_; }

    Transport& transport() { return transport_; }
    EventLog& log() { return log_; }
    RunSettings& runSettings() { return settings_; }

private:
    int fileCommand(uint32_t sub, std::span<const uint8_t> args, std::vector<uint8_t>& reply,
                    bool& replied);
    int namedCommand(uint32_t sub, const std::string& name, std::optional<uint32_t> value);
    void stepProgress();
    // Before each block: false, with the failure noted, once the watch asks to stop.
    bool mayGoOn();
    void blockDone(size_t bytes);
    // A read that ends in failure: nothing counts as read; reason, when given, is noted.
    int readFailed(const char* reason);
    // The rule of seek, close and delete; a reply that says no is noted as a refusal.
    int plainResult(int result, const std::vector<uint8_t>& reply, const char* what);

    Transport& transport_;
    EventLog& log_;
    RunSettings& settings_;
    Clock& clock_;
    ProgressSink* progress_ = nullptr;
    TransferWatch* watch_ = nullptr;
    std::atomic<bool> verify_{false};
    std::string suspendSemaphore_ = "/SuspendTdwa";
    bool cdmaPhone_ = false;
    uint32_t fileReadTotal_ = 0;
    uint32_t fileWriteTotal_ = 0;
};

// The model text of an identity seem record: GSM records as 16-bit big-endian units,
// CDMA records as 16-bit little-endian units; bounded by the data.
std::string modelTextGsm(std::span<const uint8_t> data);
std::string modelTextCdma(std::span<const uint8_t> data);

// The identity seem read for the phone's family (cdmaPhone): the model text of whatever
// data came back, and whether the read succeeded.
struct PhoneModelRead {
    bool ok = false;
    std::string model;
};
PhoneModelRead readPhoneModel(CommandSet& commands);

}  // namespace mdk
