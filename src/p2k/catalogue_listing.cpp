#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "base/ascii_case.h"
#include "config/run_settings.h"
#include "p2k/catalogue.h"

// The folder listing of the catalogue and the index that keeps it from reading every
// record for every folder.
namespace mdk {
namespace {

constexpr uint32_t kFolderBit = 0x1000;

bool dropped(std::string_view path) {
    return path.empty() || static_cast<uint8_t>(path[0]) == 0xFF;
}

}  // namespace

struct Catalogue::ListingIndex {
    struct Folder {
        std::vector<uint32_t> firsts;           // record offsets, in catalogue order
        std::unordered_set<std::string> names;  // lower case
    };
    uint64_t generation = 0;
    size_t records = 0;                               // recordOffsets_ taken in so far
    std::unordered_map<std::string, Folder> folders;  // by the folder as listed ("/a/x/")

    void note(const std::string& folder, std::string_view rest, uint32_t offset) {
        const std::string_view child = rest.substr(0, rest.find('/'));
        if (child.empty()) return;
        Folder& entry = folders[folder];
        if (entry.names.insert(asciiLower(child)).second) entry.firsts.push_back(offset);
    }

    // A record names a child of "/" and of every folder its path passes through.
    void add(std::string_view path, uint32_t offset) {
        if (dropped(path)) return;
        if (path[0] != '/') note("/", path, offset);
        for (size_t slash = path.find('/'); slash != std::string_view::npos;
             slash = path.find('/', slash + 1)) {
            note(std::string(path.substr(0, slash + 1)), path.substr(slash + 1), offset);
        }
    }
};

const Catalogue::ListingIndex& Catalogue::currentListing() const {
    if (!listing_ || listing_->generation != generation_ ||
        listing_->records > recordOffsets_.size()) {
        listing_ = std::make_shared<ListingIndex>();
        listing_->generation = generation_;
    }
    for (; listing_->records < recordOffsets_.size(); ++listing_->records) {
        const uint32_t offset = recordOffsets_[listing_->records];
        listing_->add(decode(offset).path, offset);
    }
    return *listing_;
}

std::vector<PhoneRow> Catalogue::listFolder(const std::string& phoneFolder) const {
    if (phoneFolder.empty() || phoneFolder.back() != '/') return scanFolder(phoneFolder);
    const bool usblan = settings_.read().usblanP2k05();
    std::shared_lock lock(mutex_);
    std::lock_guard listingLock(listingMutex_);
    const ListingIndex& listing = currentListing();
    auto found = listing.folders.find(phoneFolder);
    if (found == listing.folders.end()) return {};
    std::vector<PhoneRow> rows;
    rows.reserve(found->second.firsts.size());
    for (uint32_t offset : found->second.firsts) {
        const Decoded record = decode(offset);
        const bool outside = phoneFolder == "/" && record.path[0] != '/';
        const std::string_view rest =
            outside ? record.path : record.path.substr(phoneFolder.size());
        rows.push_back(rowOf(record, rest, usblan));
    }
    return rows;
}

PhoneRow Catalogue::rowOf(const RecordView& record, std::string_view rest, bool usblan) const {
    const size_t slash = rest.find('/');
    const uint32_t attributes = paneAttributeValue(record.attributeWord, usblan);
    PhoneRow row;
    row.name = std::string(rest.substr(0, slash));
    row.folder = slash != std::string_view::npos || (attributes & kFolderBit) != 0;
    row.size = record.size;
    row.attributes = attributes;
    row.attributeText = attributeText(attributes, usblan);
    return row;
}

// The listing of a folder text that does not end in "/": every record read.
std::vector<PhoneRow> Catalogue::scanFolder(const std::string& phoneFolder) const {
    std::vector<PhoneRow> rows;
    std::unordered_map<std::string, size_t> seen;
    const bool usblan = settings_.read().usblanP2k05();
    std::shared_lock lock(mutex_);
    for (uint32_t offset : recordOffsets_) {
        const Decoded record = decode(offset);
        std::string_view rest;
        if (dropped(record.path)) continue;
        if (record.path.substr(0, phoneFolder.size()) == phoneFolder) {
            rest = record.path.substr(phoneFolder.size());
        } else if (phoneFolder == "/" && record.path[0] != '/') {
            rest = record.path;
        } else {
            continue;
        }
        const std::string_view child = rest.substr(0, rest.find('/'));
        if (child.empty()) continue;
        if (!seen.emplace(asciiLower(child), rows.size()).second) continue;
        rows.push_back(rowOf(record, rest, usblan));
    }
    return rows;
}

}  // namespace mdk
