#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mdk::sim {

// Classic reply status values (the high nibble of the status byte).
inline constexpr uint8_t kStatusData = 8;
inline constexpr uint8_t kStatusNoData = 6;
inline constexpr uint8_t kStatusRefused = 0x0E;  // an error status: "phone refused"

// What the phone answers to one P2k command.
struct CommandReply {
    uint8_t status = kStatusData;
    std::vector<uint8_t> data;
};

// Attribute words as the catalogue lists them: owner byte in bits 24-31, the file's
// attribute bits (readonly 0x01, hidden 0x02, system 0x04, folder 0x10, archive 0x20, ...)
// in bits 8-23. A file written over the USB cable belongs to owner 0x07.
inline constexpr uint32_t kFolderBit = 0x1000;
inline constexpr uint32_t kFileAttributes = 0x07000400;
inline constexpr uint32_t kFolderAttributes = 0x07001000;
// The open value that leaves a file's attributes as they are.
inline constexpr uint32_t kKeepAttributes = 0xFFFFFFFF;

inline constexpr uint32_t kStrideWide = 268;
inline constexpr uint32_t kStrideNarrow = 44;

struct VolumeInfo {
    std::string name;  // "/a", or a Linux mount point such as "/mmc/mmca1"
    uint32_t capacity = 0;
};

// One file or folder of the phone, as tests and the state dump see it.
struct PhoneEntry {
    std::string path;
    bool folder = false;
    uint32_t attributes = 0;
    uint32_t size = 0;
};

// How the phone answers file searches.
struct SearchSettings {
    uint32_t stride = kStrideWide;  // record size of search-next blocks
    uint32_t recordsPerBlock = 7;   // 7 wide records fit a 2000-byte USBLAN receive
    bool listFolders = true;        // folders appear as records with kFolderBit
    bool patternFormOnly = false;   // CDMA phones know only the pattern form
    // Linux phones store the attribute word with its two low bytes swapped.
    bool swappedAttributes = false;
    // Linux phones answer the free space of their first volume for any letter.
    bool freeSpaceOfAnyLetter = false;
    // A folder whose files searches leave out ("" none): Linux phones do not report their
    // system databases, which the host then knows only from its hidden-files list.
    std::string unsearchedFolder;
};

// The phone's file system and its side of the file-system command 0x4A: volumes, files and
// folders held in memory, one open file, one running search. Not thread-safe: the
// PhoneModel that owns it serialises access.
class PhoneFiles {
public:
    // The largest count one read answers (the host's reply buffer holds 4096 bytes).
    static constexpr uint32_t kMaxReadCount = 4096;

    // Runs one file-system command; payload starts with the 32-bit sub-command.
    CommandReply execute(std::span<const uint8_t> payload);

    SearchSettings& settings() { return settings_; }
    const SearchSettings& settings() const { return settings_; }

    void addVolume(const std::string& name, uint32_t capacity);
    void clear();
    const std::vector<VolumeInfo>& volumes() const { return volumes_; }
    // Adds or replaces a file; missing parent folders are created. False for a path
    // outside every volume, a malformed path or one that names a folder.
    bool addFile(const std::string& path, std::vector<uint8_t> bytes, uint32_t attributes);
    bool addFolder(const std::string& path, uint32_t attributes);
    std::vector<PhoneEntry> entries() const;
    std::optional<std::vector<uint8_t>> fileBytes(const std::string& path) const;
    std::optional<uint32_t> freeSpace(const std::string& volume) const;
    // Read requests answered per file path (sub-command 1 on an open file), for tests; a
    // deleted file's count goes with it.
    const std::map<std::string, size_t>& readCounts() const { return readCounts_; }
    // Forgets the open file and the running search (the phone restarted).
    void reset();

private:
    struct Entry {
        bool folder = false;
        uint32_t attributes = 0;
        std::vector<uint8_t> bytes;
    };
    struct OpenFile {
        std::string path;
        uint32_t position = 0;
        bool written = false;
        uint32_t highest = 0;  // highest position written since the open
    };
    struct Search {
        std::vector<std::string> paths;
        size_t next = 0;
    };

    // Sub-commands (phone_files.cpp).
    CommandReply openFile(std::span<const uint8_t> args);
    CommandReply readFile(std::span<const uint8_t> args);
    CommandReply writeFile(std::span<const uint8_t> args);
    CommandReply seekFile(std::span<const uint8_t> args);
    CommandReply closeFile();
    CommandReply deleteFile(std::span<const uint8_t> args);
    CommandReply createFolder(std::span<const uint8_t> args);
    CommandReply removeFolder(std::span<const uint8_t> args);
    // Sub-commands (phone_search.cpp).
    CommandReply searchStart(std::span<const uint8_t> payload);
    CommandReply searchNext();
    CommandReply listVolumes() const;
    CommandReply freeSpaceOf(std::span<const uint8_t> args) const;
    std::vector<std::string> matches(const std::string& prefix, const std::string& glob) const;
    void appendRecord(std::vector<uint8_t>& block, const std::string& path) const;
    uint32_t listedAttributes(uint32_t attributes) const;

    const VolumeInfo* volumeOf(const std::string& path) const;
    bool folderExists(const std::string& path) const;
    bool hasChildren(const std::string& path) const;
    uint64_t usedBytes(const VolumeInfo& volume) const;
    void closeOpenFile();

    std::vector<VolumeInfo> volumes_;
    std::map<std::string, Entry> entries_;
    std::optional<OpenFile> open_;
    Search search_;
    SearchSettings settings_;
    std::map<std::string, size_t> readCounts_;
};

// A path the phone accepts: begins with "/", no empty, "." or ".." component, no
// control characters, no closing "/".
bool isValidPhonePath(const std::string& path);

// A phone whose file reads never end: the reply to a file read gets every byte the read
// asked for, zeros past what the file gave. Other replies are left as they are.
void padEndlessRead(uint16_t command, std::span<const uint8_t> payload, CommandReply& reply);
// "*" and "?" wildcards, letter case ignored; "*.*" matches every name.
bool globMatch(const std::string& glob, const std::string& name);

}  // namespace mdk::sim
