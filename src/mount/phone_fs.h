#pragma once
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "mount/folder_index.h"
#include "p2k/file_transfer.h"
#include "seem/seem_file.h"

namespace mdk {

class Catalogue;
class Clock;
class CommandSet;
class EventLog;
class Prompter;
class ProgramFiles;
class RunSettings;
struct ConfigRecord;

// What the mounted phone works with: the session's command set and what a catalogue needs.
struct MountParts {
    CommandSet& commands;
    EventLog& log;
    const ConfigRecord& config;
    RunSettings& settings;
    Clock& clock;
    Prompter& prompter;
    const ProgramFiles& files;
};

struct MountOptions {
    bool readOnly = false;
    bool usblan = false;       // a Linux phone: attribute changes are not possible
    std::string cacheFolder;   // where the PC copies of phone files are kept while mounted
    std::string seemListPath;  // "Seem.lst"
    // Lines for the user: failures and their reasons.
    std::function<void(const std::string&)> note;
};

// The phone as a file system: one folder per volume, "seems" with one file per seem
// record. Every call returns 0 (or a count) on success and a negative errno on failure,
// as FUSE wants. Calls come one at a time from one thread; a worker thread reads phone
// files into PC cache files ahead of the readers.
class PhoneFs {
public:
    static constexpr const char* kSeemFolder = "/seems";
    static constexpr const char* kAttributeName = "user.p2k.attributes";
    // The time every phone file shows: phones keep none (2000-01-01 00:00 UTC).
    static constexpr time_t kFileTime = 946684800;
    // The size a hidden file is listed with.
    static constexpr uint32_t kUnlistedSize = 99999999;

    PhoneFs(MountParts parts, MountOptions options);
    ~PhoneFs();
    PhoneFs(const PhoneFs&) = delete;
    PhoneFs& operator=(const PhoneFs&) = delete;

    // Reads the volume list and each volume's catalogue; the problem text, or empty.
    std::string load();
    // Why the mount must end (the phone stopped answering), or empty.
    std::string linkGone() const;
    // Called once, from any thread, when the phone stops answering.
    void setLinkGoneHandler(std::function<void()> handler) { onLinkGone_ = std::move(handler); }
    size_t fileCount() const { return fileCount_; }

    int getattr(const std::string& path, struct stat& st);
    // Receives one name of a listing, its attributes and the position after it; returns
    // false when the caller's buffer is full.
    using ListingSink =
        std::function<bool(const std::string& name, const struct stat& st, uint64_t next)>;
    // Calls add for each name of a folder from position `from` on (0: the start), until
    // add returns false. Positions count the names in listing order, "." and ".." first.
    int readdir(const std::string& path, uint64_t from, const ListingSink& add);
    // Opens a file; handle receives the open file's number. directIo is set for files
    // whose size is not known (hidden files).
    int open(const std::string& path, int flags, uint64_t& handle, bool& directIo);
    int create(const std::string& path, int flags, uint64_t& handle);
    int read(uint64_t handle, char* buffer, size_t size, off_t offset);
    int write(uint64_t handle, const char* buffer, size_t size, off_t offset);
    int truncate(const std::string& path, off_t size, const uint64_t* handle);
    // Uploads what was written since the last flush; the upload's error is the close's.
    int flush(uint64_t handle);
    int release(uint64_t handle);
    int unlink(const std::string& path);
    int mkdir(const std::string& path);
    int rmdir(const std::string& path);
    int rename(const std::string& from, const std::string& to);
    int statfs(const std::string& path, struct statvfs& st);
    // The attribute's text into value; the negative errno or the length.
    int getxattr(const std::string& path, const std::string& name, std::string& value);
    int setxattr(const std::string& path, const std::string& name, const std::string& value);
    int listxattr(const std::string& path, std::string& names);

    // A phone path this mount may send: -ENAMETOOLONG when the record cannot hold it,
    // -EINVAL for "..", empty components or control characters, else 0.
    static int pathProblem(const std::string& path, uint32_t stride);

private:
    struct CachedFile;
    struct OpenFile;

    OpenFile* writerOf(const std::string& path) const;
    int changeAttributes(const std::string& path, uint16_t attributeValue);
    std::optional<uint64_t> cachedSize(const std::string& path) const;
    void forget(const std::string& path);
    void noteNewFile(const std::string& path, uint32_t size, uint32_t word);
    void indexVolume(const std::string& volume, Catalogue& catalogue);
    Catalogue* catalogueOf(const std::string& path);
    const IndexEntry* entryOf(const std::string& path) const;
    void fillStat(const IndexEntry& entry, struct stat& st) const;
    int seemGetattr(const std::string& path, struct stat& st);
    void walkSeems();
    std::optional<SeemAddress> seemAddressOf(const std::string& path) const;
    int openSeem(const std::string& path, int flags, uint64_t& handle);
    int flushSeem(OpenFile& file);
    int openWriter(const std::string& path, int flags, uint64_t& handle, bool existing);
    int flushFile(OpenFile& file);
    int uploadFailed(OpenFile& file, const UploadResult& upload);
    int copyIntoTemp(const std::string& path, int fd);
    int writableProblem(const std::string& path, bool creating) const;
    std::shared_ptr<CachedFile> cached(const std::string& path, const IndexEntry& entry);
    void dropCache(const std::string& path);
    int waitFor(CachedFile& file, uint64_t end);
    void fetchLoop();
    void fetch(CachedFile& file);
    // Notes a failed phone command (with the transport's reason unless given) and whether
    // the link went with it; -EIO.
    int phoneError(const std::string& what, bool reasonGiven = false);
    uint64_t addOpen(std::unique_ptr<OpenFile> file);
    OpenFile* openFile(uint64_t handle);
    int makeTempFile() const;
    void note(const std::string& text) const;

    MountParts parts_;
    MountOptions options_;
    FolderIndex index_;
    std::map<std::string, std::unique_ptr<Catalogue>> catalogues_;  // by volume ("/a")
    std::vector<std::string> volumes_;
    uint32_t stride_ = 268;
    uint64_t usedBytes_ = 0;
    size_t fileCount_ = 0;
    std::string linkGone_;
    std::function<void()> onLinkGone_;

    // Seem records by file name ("0032_0001.seem") with their lengths.
    std::map<std::string, size_t> seemFiles_;
    bool seemsWalked_ = false;

    std::map<uint64_t, std::unique_ptr<OpenFile>> open_;
    uint64_t nextHandle_ = 1;

    // The PC copies of phone files and the worker that fills them.
    mutable std::mutex cacheMutex_;
    std::condition_variable cacheChanged_;
    std::map<std::string, std::shared_ptr<CachedFile>> cache_;
    std::deque<std::shared_ptr<CachedFile>> fetchQueue_;
    bool stopping_ = false;
    std::thread fetcher_;
};

}  // namespace mdk
