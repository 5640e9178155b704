#pragma once
#include <signal.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "p2k/transfer_watch.h"

namespace mdk::cli {

class Session;

// Catches SIGINT (Ctrl+C) for its lifetime, then puts the previous action back. A signal
// handler can reach nothing but a static flag: flag() is that flag, cleared on entry.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    const std::atomic<bool>* flag() const;

private:
    struct sigaction previous_ {};
};

// A get or put of files files and bytes bytes in all: the console shows its progress line
// (on a terminal), and Ctrl+C stops it between two blocks. Attached to the session's
// command set for its lifetime.
class TransferRun {
public:
    TransferRun(Session& session, size_t files, uint64_t bytes);
    ~TransferRun();
    TransferRun(const TransferRun&) = delete;
    TransferRun& operator=(const TransferRun&) = delete;

    bool cancelled() const { return watch_.cancelRequested(); }

private:
    Session& session_;
    InterruptCatcher interrupt_;
    TransferWatch watch_;
};

}  // namespace mdk::cli
