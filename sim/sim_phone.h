#pragma once
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

#include "platform/driver_link.h"
#include "sim/phone_model.h"

namespace mdk::sim {

// Switches that make the simulated phone misbehave, for tests.
struct Faults {
    bool staleSequence = false;    // replies carry the previous command's sequence number
    int staleSequenceAt = 0;       // > 0: only this command's reply (counted from 1) does
    int threeWaitingPolls = 0;     // this many polls report 3 waiting replies first
    uint8_t errorStatus = 0;       // non-zero: every classic reply carries this status
    bool refuseP2k05 = false;      // P2k05 send requests fail
    bool dropConnection = false;   // the interface goes away at the next request
    int dropAfterRequests = -1;    // >= 0: the interface goes away after this many requests
    int failWriteAt = 0;           // > 0: this file write (counted from 1) is refused
    int failReadAt = 0;            // > 0: this file read (counted from 1) is refused
    int silentAfterCommands = -1;  // >= 0: later commands get their replies only once the
                                   // switches change (setFaults): late replies
    int shortBlockAt = 0;  // > 0: this search-next block announces one record more than it holds
    bool silentUsblan = false;    // the USBLAN service takes requests and never answers
    bool corruptReads = false;    // file reads return their first byte inverted
    int64_t shortReadBytes = -1;  // >= 0: each opened file sends at most this many bytes
                                  // (a phone that lists more than it sends)
    bool endlessList = false;     // search next never ends: its blocks stay full, the
                                  // records replayed from the first
    int64_t listedSize = -1;      // >= 0: every search record lists this size
    bool endlessReads = false;    // file reads never end: every read sends all it was
                                  // asked for, zeros past the file's end
};

// The phone side of the USB driver: answers the driver requests of both framings (classic
// control transfers with poll and fetch, P2k05 send and receive) on top of a PhoneModel.
// Thread-safe.
class SimPhone {
public:
    explicit SimPhone(PhoneModel& model) : model_(model), interfaceUp_(hasTestCommandInterface()) {}

    // Handles one driver request the way the phone and its driver would.
    DriverStatus handle(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                        std::vector<uint8_t>& output);

    Faults& faults() { return faults_; }
    // Sets the fault switches; the counted ones (drop=N, fail-read=N, ...) count from here.
    // Replies held back by silentAfterCommands are sent now, late.
    void setFaults(const Faults& faults);
    bool interfaceUp() const;
    // Brings the Test Command interface up (the phone entered P2k mode) or takes it away.
    // A Linux phone has no such interface: it never comes up.
    void setInterfaceUp(bool up);
    bool hasTestCommandInterface() const { return model_.kind() != PhoneKind::Linux; }
    // True once the host sent the AT-mode switch.
    bool switchedToAtMode() const;
    PhoneModel& model() { return model_; }
    // The P2k05 framing is spoken unless the phone is classic-only or refuses it.
    bool speaksP2k05() const;

private:
    struct PendingReply {
        uint16_t sequence;
        uint8_t status;
        std::vector<uint8_t> data;
    };
    DriverStatus controlTransfer(std::span<const uint8_t> input, std::vector<uint8_t>& output);
    void acceptCommand(uint16_t sequence, uint16_t command, std::span<const uint8_t> payload,
                       bool classic);
    void reply(PendingReply reply);
    bool refuseThisTransfer(uint16_t command, std::span<const uint8_t> payload);
    void shortenBlock(uint16_t command, std::span<const uint8_t> payload, CommandReply& reply);
    // The lying file system: short reads, an endless list, made-up listed sizes.
    void lie(uint16_t command, std::span<const uint8_t> payload, CommandReply& reply);
    void padBlock(std::vector<uint8_t>& block);
    void classicPoll(std::vector<uint8_t>& output);
    void classicFetch(std::vector<uint8_t>& output);
    DriverStatus p2k05Send(std::span<const uint8_t> input);
    DriverStatus p2k05Receive(std::vector<uint8_t>& output);

    PhoneModel& model_;
    mutable std::mutex mutex_;
    Faults faults_;
    std::deque<PendingReply> pending_;
    std::deque<PendingReply> held_;  // replies of a silent phone, owed
    uint16_t lastSequence_ = 0;
    bool interfaceUp_;
    bool atMode_ = false;
    int requests_ = 0;
    int writes_ = 0;
    int reads_ = 0;
    int commands_ = 0;
    int searchBlocks_ = 0;
    int64_t readSinceOpen_ = 0;
    // The endless list: the records of the current search, replayed to fill each block.
    std::vector<std::vector<uint8_t>> searchRecords_;
    uint16_t firstBlockCount_ = 0;
    size_t recordSize_ = 0;
    size_t replayed_ = 0;
};

}  // namespace mdk::sim
