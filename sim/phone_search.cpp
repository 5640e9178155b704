// The phone's file search, volume list and free space (file-system sub-commands 7, 8, 10
// and 11).
#include <algorithm>

#include "base/bytes.h"
#include "sim/phone_files.h"

namespace mdk::sim {
namespace {

constexpr size_t kVolumeFormSize = 256;
constexpr size_t kMaxMatches = 0xFFFE;  // 0xFFFF means "none" to the host
constexpr uint16_t kVolumeSeparator = 0xFFFE;

CommandReply noMatches() {
    return {kStatusData, {0xFF, 0xFF}};
}

// The volume form: a 256-byte payload whose units after the sub-command are "/", the
// volume letter, "/", 0xFFFE, "*".
bool isVolumeForm(std::span<const uint8_t> payload) {
    if (payload.size() != kVolumeFormSize) return false;
    const uint8_t* units = payload.data() + 4;
    return bytes::be16(units) == '/' && bytes::be16(units + 4) == '/' &&
           bytes::be16(units + 6) == kVolumeSeparator && bytes::be16(units + 8) == '*';
}

// The pattern form: 16-bit big-endian units up to a zero unit (or the payload's end);
// each unit's low byte is one 8-bit character.
std::string patternText(std::span<const uint8_t> units) {
    std::string text;
    for (size_t i = 0; i + 1 < units.size(); i += 2) {
        const uint16_t unit = bytes::be16(&units[i]);
        if (unit == 0) break;
        text.push_back(static_cast<char>(unit & 0xFF));
    }
    return text;
}

// Splits "/a/mobile/*.mp3" into the folder searched below ("/a/mobile/") and the name
// pattern ("*.mp3"). A pattern without a leading "/" is taken from the root; leading
// blanks are dropped.
struct SplitPattern {
    std::string prefix;
    std::string glob;
};

SplitPattern splitPattern(std::string pattern) {
    pattern.erase(0, pattern.find_first_not_of(' '));  // location texts may lead with blanks
    const std::string text = !pattern.empty() && pattern.front() == '/' ? pattern : "/" + pattern;
    const size_t slash = text.rfind('/');
    SplitPattern split{text.substr(0, slash + 1), text.substr(slash + 1)};
    if (split.glob.empty()) split.glob.push_back('*');
    return split;
}

std::string lastComponent(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

CommandReply PhoneFiles::searchStart(std::span<const uint8_t> payload) {
    const std::span<const uint8_t> args = payload.subspan(4);
    SplitPattern split{"/", "*"};
    if (isVolumeForm(payload)) {
        if (settings_.patternFormOnly) return noMatches();
        split.prefix = std::string("/") + static_cast<char>(args[3]) + "/";
    } else if (args.empty()) {
        if (settings_.patternFormOnly) return noMatches();
    } else {
        split = splitPattern(patternText(args));
    }
    search_ = Search{matches(split.prefix, split.glob), 0};
    CommandReply reply{kStatusData, {}};
    bytes::appendBe16(reply.data, static_cast<uint16_t>(search_.paths.size()));
    return reply;
}

std::vector<std::string> PhoneFiles::matches(const std::string& prefix,
                                             const std::string& glob) const {
    std::vector<std::string> found;
    // A record holds the path and its terminating zero in stride - 8 bytes; longer paths
    // are left out of the answer.
    const size_t maxPath = settings_.stride > 9 ? settings_.stride - 9 : 0;
    for (auto it = entries_.lower_bound(prefix);
         it != entries_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        if (it->second.folder && !settings_.listFolders) continue;
        if (it->first.size() > maxPath) continue;
        if (!settings_.unsearchedFolder.empty() &&
            it->first.rfind(settings_.unsearchedFolder, 0) == 0) {
            continue;
        }
        if (!globMatch(glob, lastComponent(it->first))) continue;
        found.push_back(it->first);
        if (found.size() == kMaxMatches) break;
    }
    return found;
}

CommandReply PhoneFiles::searchNext() {
    CommandReply reply{kStatusData, {0, 0, 0, 0}};
    uint16_t count = 0;
    while (count < settings_.recordsPerBlock && search_.next < search_.paths.size()) {
        const std::string& path = search_.paths[search_.next++];
        if (entries_.count(path) == 0) continue;  // deleted since the search started
        appendRecord(reply.data, path);
        ++count;
    }
    bytes::putBe16(reply.data.data(), count);
    return reply;
}

void PhoneFiles::appendRecord(std::vector<uint8_t>& block, const std::string& path) const {
    const Entry& entry = entries_.at(path);
    const uint32_t stride = settings_.stride;
    const size_t start = block.size();
    block.resize(start + stride, 0);
    std::copy(path.begin(), path.end(), block.begin() + start);
    bytes::putLe32(&block[start + stride - 8], listedAttributes(entry.attributes));
    bytes::putBe32(&block[start + stride - 4], static_cast<uint32_t>(entry.bytes.size()));
}

uint32_t PhoneFiles::listedAttributes(uint32_t attributes) const {
    if (!settings_.swappedAttributes) return attributes;
    return (attributes & 0xFFFF0000u) | (attributes & 0xFFu) << 8 | (attributes >> 8 & 0xFFu);
}

CommandReply PhoneFiles::listVolumes() const {
    CommandReply reply{kStatusData, {}};
    for (size_t i = 0; i < volumes_.size(); ++i) {
        if (i > 0) bytes::appendBe16(reply.data, kVolumeSeparator);
        for (char c : volumes_[i].name) bytes::appendBe16(reply.data, static_cast<uint8_t>(c));
    }
    bytes::appendBe16(reply.data, 0);
    return reply;
}

CommandReply PhoneFiles::freeSpaceOf(std::span<const uint8_t> args) const {
    // 00 06, then "/", the volume letter and 0 as 16-bit units.
    if (args.size() < 6 || bytes::be16(&args[2]) != '/') return {kStatusData, {0x01}};
    std::string name = "/";
    name.push_back(static_cast<char>(bytes::be16(&args[4]) & 0xFF));
    if (settings_.freeSpaceOfAnyLetter && !volumes_.empty()) name = volumes_.front().name;
    const std::optional<uint32_t> free = freeSpace(name);
    if (!free) return {kStatusData, {0x01}};
    CommandReply reply{kStatusData, {}};
    bytes::appendBe32(reply.data, *free);
    return reply;
}

}  // namespace mdk::sim
