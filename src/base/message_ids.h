#pragma once

// The numbers of the messages in "Messages.lng" that the code names, by role. A message
// is the n-th non-comment line of the file, counted from 0.
namespace mdk::msg {

// Phone volumes, free space and the catalogue.
inline constexpr int kVolumesFailed = 17;
inline constexpr int kStatusFailed = 18;
inline constexpr int kFreeSpaceFailed = 19;
inline constexpr int kFreeSpace = 21;
inline constexpr int kKilobytesFree = 22;
inline constexpr int kFilesFound = 23;
inline constexpr int kFilesLoaded = 40;
inline constexpr int kMilliseconds = 41;

// The transport and the USB driver requests.
inline constexpr int kLinkFailed = 24;
inline constexpr int kNoReply = 25;
inline constexpr int kBadReply = 26;
inline constexpr int kRequestTimedOut = 30;
inline constexpr int kRequestFailed = 31;
inline constexpr int kReplyTooShort = 32;
inline constexpr int kSent = 104;
inline constexpr int kReceived = 105;

// Commands.
inline constexpr int kSearchNoMatch = 34;
inline constexpr int kSeemWriteRefused = 123;
inline constexpr int kSeemWriteFailed = 124;

// Finding the phone.
inline constexpr int kInterfaceFound = 37;
inline constexpr int kNoInterface = 38;

// Start-up.
inline constexpr int kStarted = 42;

// Column headers of the panes.
inline constexpr int kNameHeader = 43;
inline constexpr int kSizeHeader = 44;
inline constexpr int kPhoneDetailHeader = 45;
inline constexpr int kDateHeader = 46;  // also the detail header of PC rows
inline constexpr int kSeemDetailHeader = 126;

// Drive entries of the location lists.
inline constexpr int kRemovable = 73;
inline constexpr int kOptical = 74;
inline constexpr int kRamDisk = 75;
inline constexpr int kNetwork = 76;

// Status bar parts.
inline constexpr int kModel = 77;
inline constexpr int kVolume = 78;  // part 1: the phone volume or path
inline constexpr int kFileCount = 79;
inline constexpr int kFree = 80;

// The command-set option and the search mask, as logged when a phone is attached.
inline constexpr int kSearchMask = 99;
inline constexpr int kStandardCommands = 100;
inline constexpr int kNewFastCommands = 101;
inline constexpr int kSafeSlowCommands = 102;
inline constexpr int kP2k05Commands = 103;

// Phone entries of the location lists.
inline constexpr int kSeemEntry = 115;
inline constexpr int kFirstVolume = 116;
inline constexpr int kEmptySlot = 121;
inline constexpr int kFourthSlot = 122;

}  // namespace mdk::msg
