#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace mdk {

class Clock;

// Where a transfer stands: the file at hand and, for a copy of several files, the run.
struct TransferSnapshot {
    size_t fileIndex = 0;  // 1-based; 0 before the first file
    size_t fileCount = 0;
    std::string fileName;
    uint64_t fileDone = 0;
    uint64_t fileSize = 0;
    uint64_t runDone = 0;
    uint64_t runTotal = 0;   // 0 when the run's size is not known
    uint64_t elapsedMs = 0;  // since the run began
};

// "512 B", "12.5 KB", "3.4 MB" (units of 1024).
std::string byteCountText(uint64_t bytes);
// "45.3 KB/s" for bytes moved in elapsedMs; empty before half a second has passed or
// before anything moved (too early to tell).
std::string speedText(uint64_t bytes, uint64_t elapsedMs);
// "0:32 left" (hours as "1:02:03 left") at the speed so far; empty when the speed is not
// known yet or nothing is left.
std::string remainingText(uint64_t done, uint64_t total, uint64_t elapsedMs);
// The progress line: "file 2 of 5  x.mp3  120.0 KB of 512.0 KB  45.3 KB/s  0:08 left", and
// for several files the run's bytes: "  (1.2 MB of 3.0 MB in all)". Speed and time left
// are the run's.
std::string transferProgressText(const TransferSnapshot& snapshot);

// Follows phone file transfers block by block and lets the user stop them between two
// blocks. The command set reports each block to the watch attached to it; the thread that
// shows the progress reads snapshots. Thread-safe.
class TransferWatch {
public:
    // externalCancel, when given, also stops the transfers (a flag a signal handler sets).
    explicit TransferWatch(Clock& clock, const std::atomic<bool>* externalCancel = nullptr);

    // A run of fileCount files of totalBytes in all (0 when not known); the clock starts
    // and an earlier Cancel is forgotten.
    void beginRun(size_t fileCount, uint64_t totalBytes);
    // The next file of the run (a run of one file when beginRun was not called).
    void beginFile(const std::string& name, uint64_t size);
    // Bytes moved by one block; called by the thread that transfers.
    void addBytes(uint64_t bytes);

    void requestCancel() { cancel_ = true; }
    bool cancelRequested() const;

    TransferSnapshot snapshot() const;
    // Called after every block on the transferring thread (the command-line progress line).
    void setObserver(std::function<void(const TransferSnapshot&)> observer);

private:
    Clock& clock_;
    const std::atomic<bool>* externalCancel_;
    std::atomic<bool> cancel_{false};
    mutable std::mutex mutex_;
    uint64_t startMs_ = 0;
    bool runStarted_ = false;
    TransferSnapshot state_;
    std::function<void(const TransferSnapshot&)> observer_;
};

}  // namespace mdk
