#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mdk {

class CommandSet;
class EventLog;
class Clock;
class Prompter;
class ProgramFiles;
struct ConfigRecord;
class RunSettings;

// One entry of a location list (the combos of both panes).
struct VolumeEntry {
    std::string text;
    bool emptySlot = false;  // shown with the empty-slot icon
};

// What the attach routine and the loader show in the window. The GUI implements it on its
// own thread (posting when called from a worker); the CLI prints; tests record.
class PhoneView {
public:
    virtual ~PhoneView() = default;
    // Status-bar part 0..3.
    virtual void setStatusText(int part, const std::string& text) = 0;
    // Replaces the first five entries of both location lists.
    virtual void setPhoneLocations(const std::vector<VolumeEntry>& entries) = 0;
    // The text of the left location list's entry at the left pane's location index.
    virtual std::string leftLocationText() = 0;
};

// A record's attribute word as the phone pane reads it: in the "P2k05 over USBLAN" mode
// the two low bytes arrive swapped.
inline uint32_t paneAttributeValue(uint32_t word, bool usblanMode) {
    if (!usblanMode) return word;
    return (word & 0xFFFF0000u) | ((word & 0xFF) << 8) | ((word >> 8) & 0xFF);
}

// One row of a phone folder listing.
struct PhoneRow {
    std::string name;
    bool folder = false;
    uint32_t size = 0;
    uint32_t attributes = 0;    // as the pane reads it (low bytes swapped in USBLAN mode)
    std::string attributeText;  // ten characters: owner, four blanks, attribute digits
};

// One record of the catalogue, decoded.
struct CatalogueRecord {
    std::string path;
    uint32_t attributeWord = 0;  // little-endian field, as stored
    uint32_t size = 0;
};

// The in-memory list of the phone's files, read by the phone's file search: blocks of
// records exactly as the phone sent them, plus an index of record offsets. Readable while
// the loader appends (a listing sees the records counted so far).
class Catalogue {
public:
    static constexpr uint32_t kDefaultStride = 268;
    static constexpr uint32_t kMinStride = 12;
    static constexpr uint32_t kMaxStride = 1024;

    Catalogue(CommandSet& commands, EventLog& log, const ConfigRecord& config,
              RunSettings& settings, Clock& clock, Prompter& prompter, const ProgramFiles& files);

    void setView(PhoneView* view) { view_ = view; }
    // How the model name of a Linux phone is read in the "P2k05 over USBLAN" mode.
    void setUsblanIdentityReader(std::function<std::optional<std::string>()> reader) {
        usblanIdentity_ = std::move(reader);
    }

    // Probes the phone, logs its model, fills the location lists, reports the free space.
    // 0 on success, -1 for a CDMA phone or a failed step.
    int attachPhone();
    // The loader: run as a worker body; sets workerDone() when finished.
    void loadCatalogue();
    // Free space and file count on the status bar.
    int refreshPhoneStatus();
    // Adds one record as a block of its own. False (nothing added, reload asked for) when
    // the name does not fit the current stride.
    bool appendCatalogueRecord(const std::string& name, uint32_t size, uint32_t attributeWord);
    // Drops the records whose path equals path or lies below it (path + "/...").
    void markCatalogueRecord(const std::string& path);
    // Patches the attribute word of the record whose path equals path: the current word
    // with its second byte replaced by the new attribute byte.
    void setCatalogueAttributes(const std::string& path, uint8_t attributeByte,
                                uint32_t currentWord);

    // The rows of one phone folder ("/" or "/a/mobile/"), by the phone pane's rules: child
    // names, folders, case-insensitive duplicates dropped, ten-character attribute text.
    std::vector<PhoneRow> listFolder(const std::string& phoneFolder) const;
    // Every record counted so far (a snapshot).
    std::vector<CatalogueRecord> records() const;
    // The records whose path lies below folder ("/a/music/"), in catalogue order.
    std::vector<CatalogueRecord> recordsBelow(const std::string& folder) const;

    // Why the last load stopped short of the phone's end of list (a search-next block that
    // announces records it does not hold), or empty; the load logs it too.
    std::string loadProblem() const;
    bool workerDone() const { return workerDone_; }
    void setWorkerDone(bool done) { workerDone_ = done; }
    bool catalogueLoaded() const { return catalogueLoaded_; }
    void setCatalogueLoaded(bool loaded) { catalogueLoaded_ = loaded; }
    bool needsReload() const { return needsReload_; }
    uint32_t reportedCount() const { return reportedCount_; }
    uint32_t catalogueRecords() const;
    uint32_t catalogueBytes() const;
    uint32_t recordStride() const { return stride_; }
    // Memory held by the catalogue (blocks, index, raw dump), for the benchmarks.
    size_t memoryBytes() const;
    const std::string& currentVolume() const { return currentVolume_; }
    void setCurrentVolume(const std::string& volume);
    std::string volumeMask() const;

    // Builds the location entries from a volume list reply (16-bit big-endian units).
    static std::string volumeText(const std::vector<uint8_t>& volumeList);
    std::vector<VolumeEntry> locationEntries(const std::string& volumeText) const;
    // The ten-character attribute text of an attribute value.
    static std::string attributeText(uint32_t attributes, bool usblanMode);
    // Reads "Hidden_files.lst"; nullopt when it cannot be opened.
    static std::optional<std::vector<std::string>> readHiddenFiles(const std::string& path);
    // The names of a hidden-files list: one a line, "#" comments, an empty line ends it.
    static std::vector<std::string> parseHiddenFiles(std::string_view fileText);

    // Where the records of one search-next reply lie: the count the reply announces, the
    // stride of its records and how many whole records arrived.
    struct BlockLayout {
        uint16_t count = 0;
        uint32_t stride = 0;
        size_t whole = 0;
    };
    // The layout of a search-next reply. The first reply of a load (knownStride nullopt)
    // sets the stride: its length less the 4-byte header, divided by the count, taken only
    // from kMinStride to kMaxStride; later replies use the known stride. nullopt when the
    // load ends here: a short reply, an end block (count 0), a bad stride or no whole record.
    static std::optional<BlockLayout> blockLayout(std::span<const uint8_t> reply,
                                                  std::optional<uint32_t> knownStride);
    // The same layout with what is wrong with the reply, described once: a first block
    // whose length is not whole records, or a block that announces records it lacks
    // (empty when nothing is wrong).
    struct BlockReading {
        std::optional<BlockLayout> layout;
        std::string problem;
    };
    static BlockReading readBlock(std::span<const uint8_t> reply,
                                  std::optional<uint32_t> knownStride);

    // One record as stored: the path up to its first zero byte within the record's first
    // stride - 8 bytes, then the attribute word (little-endian) and the size (big-endian).
    struct RecordView {
        std::string_view path;
        uint32_t attributeWord = 0;
        uint32_t size = 0;
    };
    // Decodes one record of at least 8 bytes (its length is the stride).
    static RecordView decodeRecord(std::span<const uint8_t> record);

private:
    using Decoded = RecordView;
    struct ListingIndex;
    // The listing index brought up to the records counted so far (rebuilt after a record
    // was dropped or the catalogue read anew). Called with mutex_ held (shared).
    const ListingIndex& currentListing() const;
    std::vector<PhoneRow> scanFolder(const std::string& phoneFolder) const;
    // The row of a folder's child: rest is the record's path from the child's name on.
    PhoneRow rowOf(const RecordView& record, std::string_view rest, bool usblan) const;
    Decoded decode(uint32_t offset) const;
    void resetForLoad();
    bool takeBlock(const std::vector<uint8_t>& reply, bool& firstReply);
    void noteLoadProblem(std::string text);
    void appendHiddenFiles();
    void writeRawDump() const;
    void setStatus(int part, const std::string& text);
    // The status bar once a phone is attached: free space (when known), volume, file
    // count and model.
    void showAttachedStatus(std::optional<uint32_t> freeBytes, const std::string& model);
    uint8_t tuningByte() const;

    CommandSet& commands_;
    EventLog& log_;
    const ConfigRecord& config_;
    RunSettings& settings_;
    Clock& clock_;
    Prompter& prompter_;
    const ProgramFiles& files_;
    PhoneView* view_ = nullptr;
    std::function<std::optional<std::string>()> usblanIdentity_;

    mutable std::shared_mutex mutex_;
    std::vector<uint8_t> blocks_;          // the catalogue, blocks as received
    std::vector<uint32_t> recordOffsets_;  // start of each record in blocks_
    std::vector<uint8_t> rawDump_;         // search-next replies of the last load
    std::string loadProblem_;
    uint32_t stride_ = kDefaultStride;
    std::atomic<uint32_t> reportedCount_{0};
    uint32_t loadedCount_ = 0;
    uint32_t announced_ = 0;  // the total the search start announced
    std::atomic<bool> workerDone_{true};
    std::atomic<bool> catalogueLoaded_{false};
    std::atomic<bool> needsReload_{false};
    std::string currentVolume_ = "/a";
    // Per folder, the records that bring each of its names first: a listing reads those
    // rather than every record. Grows with the records; rebuilt when generation_ moves.
    mutable std::mutex listingMutex_;
    mutable std::shared_ptr<ListingIndex> listing_;
    std::atomic<uint64_t> generation_{0};  // moves when records are dropped or reloaded
};

}  // namespace mdk
