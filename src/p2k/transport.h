#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace mdk {

class UsbDriver;
class EventLog;
class Clock;

// Why a phone operation failed.
enum class FailureKind {
    None,
    NoReply,         // no reply within the reply wait
    PhoneStatus,     // the phone answered with an error status
    LinkLost,        // the interface or the connection went away
    Refused,         // the phone's reply says no (a one-byte refusal)
    NothingOpen,     // no link to a phone is open
    BadReply,        // a reply that does not belong to the request
    TransferFailed,  // the driver failed a transfer on a link that is still there
    Cancelled,       // the user stopped the transfer between two blocks
    VerifyFailed,    // a checked upload's read-back did not match
    ShortFile,       // a download ended before the size the phone listed
};

// The first failure of a phone operation, in words for the user: "no reply from the phone
// within 5 s", "phone status 14: ...", "the link to the phone was lost".
struct PhoneFailure {
    FailureKind kind = FailureKind::None;
    int status = 0;  // the phone's error status (PhoneStatus)
    std::string text;
};

// What the check of one phone reply found.
enum class ReplyVerdict {
    Data,         // a reply with data (possibly none) for the request
    NoData,       // a classic status-6 reply: the request done, nothing to copy
    PhoneStatus,  // a classic reply with an error status
    Bad,          // too short, not a reply, or not for this request
};

// A checked reply: the verdict and where the reply's data lies inside it. The data is
// what the reply announces, cut to what actually arrived.
struct ReplyCheck {
    ReplyVerdict verdict = ReplyVerdict::Bad;
    int status = 0;  // the classic status (PhoneStatus)
    size_t dataOffset = 0;
    size_t dataLength = 0;
};

inline constexpr size_t kClassicReplyHeader = 14;
inline constexpr size_t kP2k05ReplyHeader = 12;

// A classic fetch reply: byte 0 is 1, the sequence word (bytes 6-7) has its top bit set
// and names the request's sequence, byte 8 carries the status in its high nibble; with
// status 8, bytes 4-5 less 8 must equal the data length of bytes 10-11.
ReplyCheck checkClassicReply(std::span<const uint8_t> reply, uint16_t sequence);
// A P2k05 reply, from the USB driver or the USBLAN socket: byte 0 is 0x80 or 0x82, bytes
// 10-11 the data length, the data from byte 12.
ReplyCheck checkP2k05Reply(std::span<const uint8_t> reply);
// The data length a P2k05 reply header announces (what the USBLAN link reads next).
uint16_t p2k05ReplyDataLength(std::span<const uint8_t, kP2k05ReplyHeader> header);

// Frames a P2k command, hands it to the link, waits for the phone's reply and checks it.
// Three ways to the phone: classic P2k frames and P2k05 frames over the USB driver, and
// P2k05 frames over the USBLAN TCP socket.
class Transport {
public:
    static constexpr uint16_t kSequenceWrap = 4096;
    static constexpr uint32_t kClassicReplyWaitMs = 40000;
    static constexpr uint32_t kP2k05ReplyWaitMs = 5000;
    static constexpr uint16_t kFileSystemCommand = 0x4A;

    Transport(UsbDriver& driver, EventLog& log, Clock& clock)
        : driver_(driver), log_(log), clock_(clock) {}

    // Sends one command and copies the reply's data into replyData, cut to replyCapacity
    // and to what actually arrived. Returns 0 on success, -1 when the link failed, the wait
    // ran out or the phone reported an error status, 1 when the reply does not belong to
    // the request or is malformed. A classic status-6 reply writes neither replyData nor
    // replyLength.
    int p2kExchange(uint16_t command, std::span<const uint8_t> payload, uint8_t* replyData,
                    size_t replyCapacity, uint32_t& replyLength);

    // Frame builders, exposed for the phone side and the tests.
    static std::vector<uint8_t> classicFrame(uint16_t sequence, uint16_t command,
                                             uint16_t interfaceIndex,
                                             std::span<const uint8_t> payload);
    static std::vector<uint8_t> p2k05Frame(uint16_t sequence, uint16_t command,
                                           std::span<const uint8_t> payload);

    uint16_t sequence() const { return sequence_; }
    void setSequence(uint16_t value) { sequence_ = value % kSequenceWrap; }

    bool p2k05Active() const { return p2k05Active_; }
    void setP2k05Active(bool on) { p2k05Active_ = on; }
    uint16_t usbInterfaceIndex() const { return interfaceIndex_; }
    void setUsbInterfaceIndex(uint16_t index) { interfaceIndex_ = index; }
    // The USBLAN link: a connected stream socket, or -1. When set (connection mode 3), P2k05
    // commands go over it instead of the USB driver.
    int usblanSocket() const { return usblanSocket_; }
    void setUsblanSocket(int fd) {
        usblanSocket_ = fd;
        silent_ = false;
    }
    void setUsblanMode(bool on) { usblanMode_ = on; }
    bool usblanMode() const { return usblanMode_; }
    void setUsblanReplyWaitMs(uint32_t ms) { usblanReplyWaitMs_ = ms; }

    // The phone-session lock: held for a whole phone operation (a download's
    // open/seek/read/close, the command-set probe, an attach pass) so that no other
    // operation interleaves with it. Re-entrant; the exchange lock nests inside it.
    std::recursive_mutex& sessionMutex() { return session_; }

    // The first failure noted since clearFailure(): a phone operation clears it when it
    // starts, and its caller reads why it failed when it ends.
    void clearFailure();
    PhoneFailure failure() const;
    // Records a failure unless one was recorded since the last clearFailure().
    void noteFailure(FailureKind kind, std::string text, int status = 0);
    // The failure's text, or fallback when none was recorded.
    std::string failureText(const std::string& fallback = "the phone refused the request") const;

    // With giving up on, an exchange that got no reply or found the link gone makes the
    // link silent: every later exchange fails at once with the same reason instead of
    // waiting out its reply wait again (a one-shot client's choice; the GUI keeps trying).
    // A new USBLAN socket or resetSilent() ends it.
    void setGiveUpWhenSilent(bool on) { giveUpWhenSilent_ = on; }
    bool silent() const { return silent_; }
    // The failure that made the link silent (no reply, or the link lost).
    PhoneFailure silentReason() const;
    void resetSilent() { silent_ = false; }

    UsbDriver& driver() { return driver_; }
    EventLog& log() { return log_; }
    Clock& clock() { return clock_; }

private:
    int classicExchange(uint16_t command, std::span<const uint8_t> payload, uint8_t* replyData,
                        size_t replyCapacity, uint32_t& replyLength);
    int p2k05Exchange(uint16_t command, std::span<const uint8_t> payload, uint8_t* replyData,
                      size_t replyCapacity, uint32_t& replyLength);
    int usblanExchange(uint16_t command, std::span<const uint8_t> payload, uint8_t* replyData,
                       size_t replyCapacity, uint32_t& replyLength);
    int pollClassic(uint8_t& waiting, uint16_t& size);
    int fetchClassic(uint8_t waiting, uint16_t size, std::vector<uint8_t>& reply);
    // After an exchange that went without its own reply, the phone may still send the
    // replies it owed: they are fetched and dropped before the next command, so that no
    // command takes an earlier command's reply for its own.
    void dropLateReplies();
    void traceReply(const std::vector<uint8_t>& reply);
    // Notes why a driver request failed: no link, a link that went away, or a failed
    // transfer on a link that is still there.
    void noteDriverFailure();
    void noteNoReply(uint32_t waitMs);
    void notePhoneStatus(int status);

    UsbDriver& driver_;
    EventLog& log_;
    Clock& clock_;
    std::recursive_mutex session_;
    std::mutex exchange_;
    uint16_t sequence_ = 0;
    std::atomic<bool> p2k05Active_{false};
    // Set by the options, the link watch and the USBLAN link on their own threads while
    // a worker's exchange reads them.
    std::atomic<uint16_t> interfaceIndex_{8};
    std::atomic<int> usblanSocket_{-1};
    std::atomic<bool> usblanMode_{false};
    std::atomic<uint32_t> usblanReplyWaitMs_{5000};
    mutable std::mutex failureMutex_;
    PhoneFailure failure_;
    PhoneFailure silentReason_;
    std::atomic<bool> giveUpWhenSilent_{false};
    std::atomic<bool> silent_{false};
    bool lateRepliesPossible_ = false;
};

// Holds the phone-session lock for one whole phone operation.
class PhoneSession {
public:
    explicit PhoneSession(Transport& transport) : lock_(transport.sessionMutex()) {}

private:
    std::lock_guard<std::recursive_mutex> lock_;
};

}  // namespace mdk
