#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace mdk {

class CommandSet;
class UsbDriver;
class ProgressSink;

// The scan for the seem numbers the connected phone answers, and the seem list it leaves.

inline constexpr uint16_t kLastScannedSeem = 900;
// Seems below this are read whole; from it on, their first byte only.
inline constexpr uint16_t kFirstProbedSeem = 6;
// The classic send time-out during the scan; a seem the phone lacks then costs little.
inline constexpr uint32_t kScanSendTimeoutMs = 100;
// The message that heads the scan in the log list (not written to the log file).
inline constexpr int kMsgDiscoveryHeader = 125;

// Reads record 1 of every seem 0-900 (decimal): whole below 6, one byte from 6 on, with
// the log quiet and the classic send time-out at 100 ms (both restored afterwards). Each
// seem found is logged as four upper-case hexadecimal digits. The progress bar runs over
// 0..901, one step per seem. Holds the phone session for the whole scan.
std::vector<uint16_t> discoverSeems(CommandSet& commands, UsbDriver& driver,
                                    ProgressSink* progress);

// "0032" for seem 0x32.
std::string seemListEntry(uint16_t seem);

// The text of a seem list: one entry per line, each ended by CR LF.
std::string seemListText(const std::vector<uint16_t>& seems);

// Replaces the seem list file at path with the seems found, through a temporary file and
// a rename. An empty scan (the link gone) keeps the old list and fails with error set.
bool writeSeemList(const std::string& path, const std::vector<uint16_t>& seems, std::string& error);

}  // namespace mdk
