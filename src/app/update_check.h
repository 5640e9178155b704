#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mdk::update {

// The server's two paths.
inline constexpr const char* kReleasePath = "/dl/LatestBeta";
inline constexpr const char* kMessagePath = "/dl/MessageBeta";
// The most a reply is read.
inline constexpr size_t kReplyMax = 255;
// The bytes of the release record before its download link.
inline constexpr size_t kLinkOffset = 14;
inline constexpr size_t kCodeLength = 4;

// The log lines of the check.
inline constexpr const char* kLogOpen = "Open Internet connection. ";
inline constexpr const char* kLogNoConnection = "Cannot establish Internet connection. ";
inline constexpr const char* kLogChecking = "Check if update available. ";
inline constexpr const char* kLogNoUpdate = "Sorry, no update available yet. ";

// The release's four-character code from the About text ("About Marrowdeck V6.0.0" gives
// "V600"): the two characters before the last three-character group, then the two digits
// around the last dot. Empty when the text has no such form.
std::string versionCode(std::string_view aboutText);

// A reply's text as the program keeps it: at most kReplyMax bytes, ending at the first
// zero byte.
std::string replyText(std::string_view body);

// What the release record says.
struct Release {
    bool upToDate = false;  // its code equals this release's
    std::string link;       // the download page, when it is a usable link
    std::string refusal;    // why a newer release cannot be offered
};

// Reads a release record (already cut by replyText): its code against versionCode; a
// newer release needs a record of at least 14 bytes whose link, without the line end,
// is an http or https address of printable characters.
Release readRelease(const std::string& record, const std::string& versionCode);

// True for an http:// or https:// address with a host and no blank or control character.
bool isWebLink(std::string_view link);

}  // namespace mdk::update
