#include "mount/phone_fs.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "base/event_log.h"
#include "base/hex_text.h"
#include "config/run_settings.h"
#include "mount/open_files.h"
#include "p2k/catalogue.h"
#include "p2k/command_set.h"
#include "p2k/file_transfer.h"
#include "p2k/transport.h"

// The mounted phone: loading, lookups, listings and the name-level changes.
namespace mdk {
namespace {

constexpr uint32_t kFolderBit = 0x1000;
constexpr uint32_t kReadOnlyBit = 0x0100;  // attribute bit 0 ("Readonly") in the word
constexpr uint32_t kBlockSize = 4096;

bool linkLost(const Transport& transport) {
    if (transport.silent()) return true;
    const FailureKind kind = transport.failure().kind;
    return kind == FailureKind::NoReply || kind == FailureKind::LinkLost ||
           kind == FailureKind::NothingOpen;
}

void fillFolderStat(struct stat& st) {
    st = {};
    st.st_mode = S_IFDIR | 0755;
    st.st_nlink = 2;
    st.st_uid = ::getuid();
    st.st_gid = ::getgid();
    st.st_mtime = st.st_atime = st.st_ctime = PhoneFs::kFileTime;
}

// The volumes of a volume list text ("/a /b /c "), each once.
std::vector<std::string> volumeNames(const std::string& text) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string name = text.substr(start, end - start);
        if (FolderIndex::plainPath(name) && name != PhoneFs::kSeemFolder &&
            std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
        start = end + 1;
    }
    return names;
}

}  // namespace

PhoneFs::PhoneFs(MountParts parts, MountOptions options)
    : parts_(parts), options_(std::move(options)), fetcher_([this] { fetchLoop(); }) {}

PhoneFs::~PhoneFs() {
    {
        std::lock_guard lock(cacheMutex_);
        stopping_ = true;
        for (auto& file : fetchQueue_) file->cancelled = true;
    }
    cacheChanged_.notify_all();
    fetcher_.join();
}

void PhoneFs::note(const std::string& text) const {
    if (options_.note) options_.note(text);
}

std::string PhoneFs::linkGone() const {
    std::lock_guard lock(cacheMutex_);
    return linkGone_;
}

int PhoneFs::phoneError(const std::string& what, bool reasonGiven) {
    Transport& transport = parts_.commands.transport();
    const std::string reason = reasonGiven ? what : what + ": " + transport.failureText();
    note(reason);
    if (linkLost(transport)) {
        bool first = false;
        {
            std::lock_guard lock(cacheMutex_);
            first = linkGone_.empty();
            if (first) linkGone_ = "the phone stopped answering (" + reason + ")";
        }
        if (first && onLinkGone_) onLinkGone_();
    }
    return -EIO;
}

// ---- loading --------------------------------------------------------------------------

std::string PhoneFs::load() {
    std::vector<uint8_t> list;
    if (parts_.commands.phoneListVolumes(list) != 0) {
        return "the phone did not list its volumes: " + parts_.commands.transport().failureText();
    }
    volumes_ = volumeNames(Catalogue::volumeText(list));
    if (volumes_.empty()) return "the phone lists no volumes";
    // A Linux phone's search lists every volume at once: one catalogue holds them all.
    std::vector<std::string> loads = options_.usblan ? std::vector<std::string>{""} : volumes_;
    for (const std::string& volume : loads) {
        auto catalogue =
            std::make_unique<Catalogue>(parts_.commands, parts_.log, parts_.config, parts_.settings,
                                        parts_.clock, parts_.prompter, parts_.files);
        if (!volume.empty()) catalogue->setCurrentVolume(volume);
        catalogue->loadCatalogue();
        if (linkLost(parts_.commands.transport())) {
            return "the phone stopped answering: " + parts_.commands.transport().failureText();
        }
        if (std::string problem = catalogue->loadProblem(); !problem.empty()) return problem;
        stride_ = std::min(stride_, catalogue->recordStride());
        catalogues_[volume] = std::move(catalogue);
    }
    for (const std::string& volume : volumes_) index_.addFolder(volume);
    for (auto& [volume, catalogue] : catalogues_) indexVolume(volume, *catalogue);
    return {};
}

void PhoneFs::indexVolume(const std::string& volume, Catalogue& catalogue) {
    const bool usblan = options_.usblan;
    for (const CatalogueRecord& record : catalogue.records()) {
        if (!volume.empty() && record.path.compare(0, volume.size() + 1, volume + "/") != 0) {
            continue;
        }
        const uint32_t attributes = paneAttributeValue(record.attributeWord, usblan);
        if (index_.addRecord(record.path, attributes, record.size) && !(attributes & kFolderBit)) {
            ++fileCount_;
            if (record.size != kUnlistedSize) usedBytes_ += record.size;
        }
    }
}

Catalogue* PhoneFs::catalogueOf(const std::string& path) {
    if (options_.usblan) return catalogues_.begin()->second.get();
    auto found = catalogues_.find(path.substr(0, path.find('/', 1)));
    return found == catalogues_.end() ? nullptr : found->second.get();
}

// ---- names and attributes -------------------------------------------------------------

int PhoneFs::pathProblem(const std::string& path, uint32_t stride) {
    if (!FolderIndex::plainPath(path)) return -EINVAL;
    for (unsigned char c : path) {
        if (c < 0x20 || c == 0x7F || c == 0xFF || c == '\\') return -EINVAL;
    }
    // A record holds the path and its closing zero before the 8 bytes of word and size.
    if (path.size() + 1 > stride - 8) return -ENAMETOOLONG;
    return 0;
}

const IndexEntry* PhoneFs::entryOf(const std::string& path) const {
    return index_.find(path);
}

void PhoneFs::fillStat(const IndexEntry& entry, struct stat& st) const {
    if (entry.folder) return fillFolderStat(st);
    st = {};
    const bool readOnly = (entry.attributes & kReadOnlyBit) || options_.readOnly;
    st.st_mode = S_IFREG | (readOnly ? 0444 : 0644);
    st.st_nlink = 1;
    st.st_uid = ::getuid();
    st.st_gid = ::getgid();
    st.st_size = entry.size;
    st.st_blocks = (st.st_size + 511) / 512;
    st.st_blksize = kBlockSize;
    st.st_mtime = st.st_atime = st.st_ctime = kFileTime;
}

int PhoneFs::getattr(const std::string& path, struct stat& st) {
    if (path == "/" || path == kSeemFolder) {
        fillFolderStat(st);
        return 0;
    }
    if (path.rfind(std::string(kSeemFolder) + "/", 0) == 0) return seemGetattr(path, st);
    if (const OpenFile* writer = writerOf(path)) {
        IndexEntry entry{path, false, 0, writer->attributes};
        fillStat(entry, st);
        st.st_size = writer->size();
        return 0;
    }
    const IndexEntry* entry = entryOf(path);
    if (!entry) return -ENOENT;
    fillStat(*entry, st);
    if (!entry->folder && entry->size == kUnlistedSize) {
        if (auto size = cachedSize(path)) st.st_size = *size;
    }
    return 0;
}

int PhoneFs::readdir(const std::string& path, uint64_t from, const ListingSink& add) {
    const std::string key = path == "/" ? std::string() : path;
    const FolderIndex::Folder* folder = nullptr;
    if (path == kSeemFolder) {
        walkSeems();
    } else if (!(folder = index_.children(key))) {
        return entryOf(path) ? -ENOTDIR : -ENOENT;
    }
    // Names before `from` are passed over without their attributes being made.
    uint64_t position = 0;
    const auto offer = [&](const std::string& name, auto&& fillAttributes) {
        if (++position <= from) return true;
        struct stat st;
        fillAttributes(st);
        return add(name, st, position);
    };
    // Listings drop entries whose inode number is 0: the dot entries get one of their own.
    const auto dotFolder = [this](struct stat& st) {
        fillFolderStat(st);
        st.st_ino = 1;
    };
    if (!offer(".", dotFolder) || !offer("..", dotFolder)) return 0;
    if (!folder) {
        for (const auto& [name, length] : seemFiles_) {
            const auto seem = [&](struct stat& st) {
                getattr(std::string(kSeemFolder) + "/" + name, st);
            };
            if (!offer(name, seem)) return 0;
        }
        return 0;
    }
    for (const auto& [name, entry] : *folder) {
        if (!offer(entry.name, [&](struct stat& st) { fillStat(entry, st); })) return 0;
    }
    if (key.empty()) {
        offer(std::string(kSeemFolder).substr(1), [this](struct stat& st) { fillFolderStat(st); });
    }
    return 0;
}

int PhoneFs::writableProblem(const std::string& path, bool creating) const {
    if (options_.readOnly) return -EROFS;
    if (int problem = pathProblem(path, stride_)) return problem;
    const auto [parent, name] = FolderIndex::split(path);
    if (parent.empty()) return -EACCES;  // the volumes themselves
    const IndexEntry* entry = entryOf(path);
    if (!creating && entry && (entry->attributes & kReadOnlyBit)) return -EACCES;
    if (creating && !index_.children(parent)) return -ENOENT;
    return 0;
}

int PhoneFs::unlink(const std::string& path) {
    if (path.rfind(kSeemFolder, 0) == 0) return -EACCES;
    const IndexEntry* entry = entryOf(path);
    if (!entry) return -ENOENT;
    if (entry->folder) return -EISDIR;
    if (int problem = writableProblem(path, false)) return problem;
    if (parts_.commands.phoneDeleteFile(path) != 0) return phoneError("cannot delete " + path);
    forget(path);
    return 0;
}

void PhoneFs::forget(const std::string& path) {
    if (const IndexEntry* entry = entryOf(path); entry && !entry->folder) --fileCount_;
    index_.remove(path);
    if (Catalogue* catalogue = catalogueOf(path)) catalogue->markCatalogueRecord(path);
    dropCache(path);
}

int PhoneFs::mkdir(const std::string& path) {
    if (path.rfind(kSeemFolder, 0) == 0) return -EACCES;
    if (entryOf(path)) return -EEXIST;
    if (options_.readOnly) return -EROFS;
    if (int problem = pathProblem(path + "/" + kFolderPlaceholderName, stride_)) return problem;
    const std::string_view parent = FolderIndex::split(path).first;
    if (parent.empty()) return -EACCES;  // a volume
    if (!index_.children(parent)) return -ENOENT;
    auto placeholder = createPhoneFolder(parts_.commands, path);
    if (!placeholder) return phoneError("cannot create the folder " + path);
    index_.addFolder(path);
    noteNewFile(*placeholder, 1, kUploadedAttributeWord);
    return 0;
}

void PhoneFs::noteNewFile(const std::string& path, uint32_t size, uint32_t word) {
    if (!entryOf(path)) ++fileCount_;
    index_.setFile(path, size, paneAttributeValue(word, options_.usblan));
    if (Catalogue* catalogue = catalogueOf(path)) {
        catalogue->markCatalogueRecord(path);
        catalogue->appendCatalogueRecord(path, size, word);
    }
}

int PhoneFs::rmdir(const std::string& path) {
    if (path == kSeemFolder) return -EACCES;
    const IndexEntry* entry = entryOf(path);
    if (!entry) return -ENOENT;
    if (!entry->folder) return -ENOTDIR;
    if (options_.readOnly) return -EROFS;
    if (FolderIndex::split(path).first.empty()) return -EACCES;  // a volume
    const FolderIndex::Folder* children = index_.children(path);
    const std::string placeholder = path + "/" + kFolderPlaceholderName;
    const bool onlyPlaceholder = children && children->size() == 1 && entryOf(placeholder);
    if (children && !children->empty() && !onlyPlaceholder) return -ENOTEMPTY;
    PhoneSession session(parts_.commands.transport());
    if (onlyPlaceholder && parts_.commands.phoneDeleteFile(placeholder) != 0) {
        return phoneError("cannot delete " + placeholder);
    }
    if (parts_.commands.phoneRemoveFolder(path, 4) != 0) {
        return phoneError("cannot remove the folder " + path);
    }
    forget(placeholder);
    forget(path);
    return 0;
}

// The phone has no rename command: tools copy and delete when told that the two names lie
// on different devices, and what they copy is checked the way every upload is.
int PhoneFs::rename(const std::string&, const std::string&) {
    return options_.readOnly ? -EROFS : -EXDEV;
}

int PhoneFs::statfs(const std::string& path, struct statvfs& st) {
    std::string volume = path.substr(0, path.find('/', 1));
    if (std::find(volumes_.begin(), volumes_.end(), volume) == volumes_.end()) {
        volume = volumes_.front();
    }
    st = {};
    st.f_bsize = st.f_frsize = kBlockSize;
    st.f_namemax = stride_ - 9;
    st.f_files = fileCount_;
    auto free = parts_.commands.phoneFreeSpace(volume);
    if (!free && linkLost(parts_.commands.transport())) {
        return phoneError("cannot read the free space of " + volume);
    }
    st.f_bfree = st.f_bavail = free.value_or(0) / kBlockSize;
    st.f_blocks = st.f_bfree + usedBytes_ / kBlockSize;
    return 0;
}

// The phone keeps no security labels, ACLs or trusted attributes: names outside the user
// namespace are not supported at all (ENOTSUP), which lets `ls -l` and the ACL library stop
// asking for them after the first file of the mount instead of asking once per file.
int PhoneFs::getxattr(const std::string& path, const std::string& name, std::string& value) {
    const IndexEntry* entry = entryOf(path);
    // The root and the seem folder's names have no index entry, and no attribute word.
    const bool rootOrSeem = path == "/" || path.rfind(kSeemFolder, 0) == 0;
    if (!entry && !rootOrSeem) return -ENOENT;
    if (name.rfind("user.", 0) != 0) return -ENOTSUP;
    if (!entry || name != kAttributeName) return -ENODATA;
    char text[9];
    std::snprintf(text, sizeof text, "%08X", entry->attributes);
    value = text;
    return static_cast<int>(value.size());
}

int PhoneFs::listxattr(const std::string& path, std::string& names) {
    names.clear();
    if (!entryOf(path)) return path == "/" || path.rfind(kSeemFolder, 0) == 0 ? 0 : -ENOENT;
    names.append(kAttributeName).push_back('\0');
    return static_cast<int>(names.size());
}

// The word's four attribute digits (bits 8-23) are what an open with a 16-bit value sets;
// the owner byte and the low byte stay. A file being written takes them once uploaded.
int PhoneFs::setxattr(const std::string& path, const std::string& name, const std::string& value) {
    if (name != kAttributeName) return -ENOTSUP;
    if (options_.readOnly) return -EROFS;
    // Over USBLAN every open sends 0xFFFFFFFF: attributes cannot be changed there.
    if (options_.usblan) return -ENOTSUP;
    std::string text = value;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
    const auto word = parseHex(text, 8);
    if (!word || text.empty()) return -EINVAL;
    const uint16_t attributeValue = static_cast<uint16_t>((*word >> 8) & 0xFFFF);
    if (OpenFile* writer = writerOf(path)) {
        writer->wantedAttributes = attributeValue;
        return 0;
    }
    const IndexEntry* entry = entryOf(path);
    if (!entry) return -ENOENT;
    if (entry->folder) return -ENOTSUP;
    return changeAttributes(path, attributeValue);
}

// The catalogue keeps its own word with the new attribute byte, as every attribute change
// does.
int PhoneFs::changeAttributes(const std::string& path, uint16_t attributeValue) {
    IndexEntry* entry = index_.find(path);
    if (!entry) return -ENOENT;
    {
        PhoneSession session(parts_.commands.transport());
        if (parts_.commands.phoneOpenFile(path, attributeValue) != 0 ||
            parts_.commands.phoneCloseFile() != 0) {
            return phoneError("cannot change the attributes of " + path);
        }
    }
    const uint32_t word = paneAttributeValue(entry->attributes, options_.usblan);
    if (Catalogue* catalogue = catalogueOf(path)) {
        catalogue->setCatalogueAttributes(path, static_cast<uint8_t>(attributeValue & 0xFF), word);
    }
    entry->attributes = (entry->attributes & ~0xFF00u) | ((attributeValue & 0xFFu) << 8);
    return 0;
}

}  // namespace mdk
