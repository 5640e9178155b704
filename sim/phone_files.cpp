#include "sim/phone_files.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "base/bytes.h"
#include "p2k/command_set.h"

namespace mdk::sim {
namespace {

using enum CommandSet::Sub;

// Replies of the file commands: success without data, the one-byte refusal that read,
// write, seek, close and delete use, and the error status of open and the folder commands.
CommandReply done() {
    return {kStatusNoData, {}};
}
CommandReply refusedByte() {
    return {kStatusData, {0x01}};
}
CommandReply refusedStatus() {
    return {kStatusRefused, {}};
}

// The path of a command: 8-bit characters; stray terminating zeros are dropped.
std::string pathText(std::span<const uint8_t> bytes) {
    std::string text(bytes.begin(), bytes.end());
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

std::string parentOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

// The attribute word after an open with the given value: 0xFFFFFFFF keeps it, a value of
// 16 bits gives the attribute bits (the owner stays), a wider value is a whole listed word.
// A file never takes the folder bit.
uint32_t attributesAfterOpen(uint32_t current, uint32_t value) {
    if (value == kKeepAttributes) return current;
    uint32_t word = value <= 0xFFFF ? (current & 0xFF000000u) | (value << 8) : value & ~0xFFu;
    return word & ~kFolderBit;
}

}  // namespace

bool isValidPhonePath(const std::string& path) {
    if (path.size() < 2 || path.front() != '/' || path.back() == '/') return false;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return std::none_of(path.begin(), path.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool globMatch(const std::string& glob, const std::string& name) {
    if (glob == "*.*") return true;
    auto lower = [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    };
    size_t g = 0, n = 0, starG = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (g < glob.size() && glob[g] == '*') {
            starG = g++;
            starN = n;
        } else if (g < glob.size() && (glob[g] == '?' || lower(glob[g]) == lower(name[n]))) {
            ++g;
            ++n;
        } else if (starG != std::string::npos) {
            g = starG + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (g < glob.size() && glob[g] == '*') ++g;
    return g == glob.size();
}

void padEndlessRead(uint16_t command, std::span<const uint8_t> payload, CommandReply& reply) {
    if (command != CommandSet::kFileSystem || payload.size() < 8) return;
    uint32_t sub = bytes::be32(payload.data());
    if (payload[1] == 0x01) sub &= 0xFF00FFFFu;
    if (sub != kRead || reply.status != kStatusData) return;
    const uint32_t count = std::min(bytes::be32(payload.data() + 4), PhoneFiles::kMaxReadCount);
    if (reply.data.size() < count) reply.data.resize(count, 0);
}

CommandReply PhoneFiles::execute(std::span<const uint8_t> payload) {
    if (payload.size() < 4) return refusedStatus();
    uint32_t sub = bytes::be32(payload.data());
    // A USBLAN host sends every sub-command with 0x01 in its second byte.
    if (payload[1] == 0x01) sub &= 0xFF00FFFFu;
    const std::span<const uint8_t> args = payload.subspan(4);
    switch (sub) {
        case kOpen:
            return openFile(args);
        case kRead:
            return readFile(args);
        case kWrite:
            return writeFile(args);
        case kSeek:
            return seekFile(args);
        case kClose:
            return closeFile();
        case kDelete:
            return deleteFile(args);
        case kSearchStart:
            return searchStart(payload);
        case kSearchNext:
            return searchNext();
        case kListVolumes:
            return listVolumes();
        case kFreeSpace:
            return freeSpaceOf(args);
        case kCreateFolder:
            return createFolder(args);
        case kRemoveFolder:
            return removeFolder(args);
        default:
            return refusedStatus();
    }
}

CommandReply PhoneFiles::openFile(std::span<const uint8_t> args) {
    if (args.size() < 5) return refusedStatus();
    const uint32_t value = bytes::be32(args.data());
    const std::string path = pathText(args.subspan(4));
    if (!isValidPhonePath(path) || !volumeOf(path)) return refusedStatus();
    auto it = entries_.find(path);
    if (it != entries_.end() && it->second.folder) return refusedStatus();
    if (it == entries_.end() && !folderExists(parentOf(path))) return refusedStatus();
    closeOpenFile();
    if (it == entries_.end()) it = entries_.emplace(path, Entry{false, kFileAttributes, {}}).first;
    it->second.attributes = attributesAfterOpen(it->second.attributes, value);
    open_ = OpenFile{path, 0, false, 0};
    return done();
}

CommandReply PhoneFiles::readFile(std::span<const uint8_t> args) {
    if (args.size() < 4 || !open_) return refusedByte();
    auto it = entries_.find(open_->path);
    if (it == entries_.end()) return refusedByte();
    ++readCounts_[open_->path];
    const auto& data = it->second.bytes;
    const uint32_t count = std::min(bytes::be32(args.data()), kMaxReadCount);
    const size_t begin = std::min<size_t>(open_->position, data.size());
    const size_t n = std::min<size_t>(count, data.size() - begin);
    CommandReply reply{kStatusData, {data.begin() + begin, data.begin() + begin + n}};
    open_->position = static_cast<uint32_t>(begin + n);
    return reply;
}

CommandReply PhoneFiles::writeFile(std::span<const uint8_t> args) {
    if (args.size() < 4 || !open_) return refusedByte();
    const uint32_t count = bytes::be32(args.data());
    if (args.size() - 4 < count) return refusedByte();
    auto it = entries_.find(open_->path);
    const VolumeInfo* volume = volumeOf(open_->path);
    if (it == entries_.end() || !volume) return refusedByte();
    auto& data = it->second.bytes;
    const uint64_t end = uint64_t(open_->position) + count;
    if (end > std::numeric_limits<uint32_t>::max()) return refusedByte();
    const uint64_t growth = end > data.size() ? end - data.size() : 0;
    const uint64_t used = usedBytes(*volume);
    if (used + growth > volume->capacity) return refusedByte();  // volume full
    if (end > data.size()) data.resize(end, 0);
    std::copy_n(args.begin() + 4, count, data.begin() + open_->position);
    open_->position = static_cast<uint32_t>(end);
    open_->written = true;
    open_->highest = std::max(open_->highest, open_->position);
    return done();
}

CommandReply PhoneFiles::seekFile(std::span<const uint8_t> args) {
    if (args.size() < 5 || !open_) return refusedByte();
    auto it = entries_.find(open_->path);
    if (it == entries_.end()) return refusedByte();
    const uint32_t offset = bytes::be32(args.data());
    const int64_t size = static_cast<int64_t>(it->second.bytes.size());
    int64_t target = 0;
    switch (args[4]) {
        case 0:
            target = offset;
            break;
        case 1:
            target = int64_t(open_->position) + static_cast<int32_t>(offset);
            break;
        case 2:
            target = size + static_cast<int32_t>(offset);
            break;
        default:
            return refusedByte();
    }
    if (target < 0 || target > size) return refusedByte();
    open_->position = static_cast<uint32_t>(target);
    return done();
}

CommandReply PhoneFiles::closeFile() {
    if (!open_) return refusedByte();
    closeOpenFile();
    return done();
}

void PhoneFiles::closeOpenFile() {
    if (!open_) return;
    // A file written since its open ends where the writing ended: an upload over a
    // longer file leaves exactly the new bytes.
    auto it = entries_.find(open_->path);
    if (open_->written && it != entries_.end()) it->second.bytes.resize(open_->highest);
    open_.reset();
}

CommandReply PhoneFiles::deleteFile(std::span<const uint8_t> args) {
    const std::string path = pathText(args);
    auto it = entries_.find(path);
    if (it == entries_.end() || it->second.folder) return refusedByte();
    if (open_ && open_->path == path) return refusedByte();
    entries_.erase(it);
    readCounts_.erase(path);  // the dump lists the reads of the files the phone holds
    return done();
}

CommandReply PhoneFiles::createFolder(std::span<const uint8_t> args) {
    if (args.size() < 5) return refusedStatus();
    const uint32_t value = bytes::be32(args.data());
    const std::string path = pathText(args.subspan(4));
    const VolumeInfo* volume = isValidPhonePath(path) ? volumeOf(path) : nullptr;
    if (!volume || volume->name == path || entries_.count(path) != 0) return refusedStatus();
    if (!folderExists(parentOf(path))) return refusedStatus();
    uint32_t attributes = attributesAfterOpen(kFolderAttributes, value) | kFolderBit;
    entries_.emplace(path, Entry{true, attributes, {}});
    return done();
}

CommandReply PhoneFiles::removeFolder(std::span<const uint8_t> args) {
    if (args.size() < 5) return refusedStatus();
    const std::string path = pathText(args.subspan(4));
    auto it = entries_.find(path);
    // Only an empty folder goes: the phone never drops files as a side effect.
    if (it == entries_.end() || !it->second.folder || hasChildren(path)) return refusedStatus();
    entries_.erase(it);
    return done();
}

void PhoneFiles::addVolume(const std::string& name, uint32_t capacity) {
    for (auto& volume : volumes_) {
        if (volume.name == name) {
            volume.capacity = capacity;
            return;
        }
    }
    volumes_.push_back({name, capacity});
}

void PhoneFiles::clear() {
    volumes_.clear();
    entries_.clear();
    reset();
}

void PhoneFiles::reset() {
    closeOpenFile();
    search_ = {};
}

bool PhoneFiles::addFolder(const std::string& path, uint32_t attributes) {
    const VolumeInfo* volume = isValidPhonePath(path) ? volumeOf(path) : nullptr;
    if (!volume) return false;
    if (volume->name == path) return true;
    auto it = entries_.find(path);
    if (it != entries_.end()) return it->second.folder;
    if (!addFolder(parentOf(path), kFolderAttributes)) return false;
    entries_.emplace(path, Entry{true, attributes | kFolderBit, {}});
    return true;
}

bool PhoneFiles::addFile(const std::string& path, std::vector<uint8_t> data, uint32_t attributes) {
    if (data.size() > std::numeric_limits<uint32_t>::max()) return false;
    const VolumeInfo* volume = isValidPhonePath(path) ? volumeOf(path) : nullptr;
    if (!volume || volume->name == path) return false;
    auto it = entries_.find(path);
    if (it != entries_.end() && it->second.folder) return false;
    if (!addFolder(parentOf(path), kFolderAttributes)) return false;
    entries_[path] = Entry{false, attributes & ~kFolderBit, std::move(data)};
    return true;
}

std::vector<PhoneEntry> PhoneFiles::entries() const {
    std::vector<PhoneEntry> list;
    list.reserve(entries_.size());
    for (const auto& [path, entry] : entries_) {
        list.push_back(
            {path, entry.folder, entry.attributes, static_cast<uint32_t>(entry.bytes.size())});
    }
    return list;
}

std::optional<std::vector<uint8_t>> PhoneFiles::fileBytes(const std::string& path) const {
    auto it = entries_.find(path);
    if (it == entries_.end() || it->second.folder) return std::nullopt;
    return it->second.bytes;
}

std::optional<uint32_t> PhoneFiles::freeSpace(const std::string& name) const {
    for (const auto& volume : volumes_) {
        if (volume.name != name) continue;
        const uint64_t used = usedBytes(volume);
        return used >= volume.capacity ? 0u : static_cast<uint32_t>(volume.capacity - used);
    }
    return std::nullopt;
}

const VolumeInfo* PhoneFiles::volumeOf(const std::string& path) const {
    const VolumeInfo* best = nullptr;
    for (const auto& volume : volumes_) {
        const std::string& name = volume.name;
        const bool inside =
            path == name || (path.size() > name.size() && path.compare(0, name.size(), name) == 0 &&
                             path[name.size()] == '/');
        if (inside && (!best || name.size() > best->name.size())) best = &volume;
    }
    return best;
}

bool PhoneFiles::folderExists(const std::string& path) const {
    for (const auto& volume : volumes_) {
        if (volume.name == path) return true;
    }
    auto it = entries_.find(path);
    return it != entries_.end() && it->second.folder;
}

bool PhoneFiles::hasChildren(const std::string& path) const {
    auto it = entries_.lower_bound(path + "/");
    return it != entries_.end() && it->first.compare(0, path.size() + 1, path + "/") == 0;
}

uint64_t PhoneFiles::usedBytes(const VolumeInfo& volume) const {
    uint64_t used = 0;
    for (auto it = entries_.lower_bound(volume.name + "/");
         it != entries_.end() &&
         it->first.compare(0, volume.name.size() + 1, volume.name + "/") == 0;
         ++it) {
        if (volumeOf(it->first) == &volume) used += it->second.bytes.size();
    }
    return used;
}

}  // namespace mdk::sim
