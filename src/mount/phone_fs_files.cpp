#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "mount/open_files.h"
#include "mount/phone_fs.h"
#include "p2k/catalogue.h"
#include "p2k/command_set.h"
#include "p2k/file_transfer.h"
#include "p2k/transport.h"

// The mounted phone's files: PC copies read ahead of the readers, writes kept in a PC file
// and uploaded on flush.
namespace mdk {
namespace {

// One read request series: 63 whole blocks and one of 1023 bytes, so that no request is
// an empty probe past a block boundary and a short reply still ends the file.
constexpr uint32_t kFetchChunk = 64 * 1024 - 1;
constexpr size_t kCopyBuffer = 64 * 1024;

bool writesTo(int flags) {
    return (flags & O_ACCMODE) != O_RDONLY || (flags & O_TRUNC);
}

bool writeAll(int fd, const uint8_t* data, size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

std::optional<std::vector<uint8_t>> readAll(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return std::nullopt;
    std::vector<uint8_t> data(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = ::pread(fd, data.data() + got, data.size() - got, off_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        got += static_cast<size_t>(n);
    }
    return data;
}

}  // namespace

uint64_t PhoneFs::OpenFile::size() const {
    if (seem) return seemData.size();
    struct stat st;
    return tempFd >= 0 && ::fstat(tempFd, &st) == 0 ? uint64_t(st.st_size) : 0;
}

int PhoneFs::makeTempFile() const {
    std::string pattern = options_.cacheFolder + "/fileXXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(pattern.c_str());
    return fd;
}

uint64_t PhoneFs::addOpen(std::unique_ptr<OpenFile> file) {
    const uint64_t handle = nextHandle_++;
    open_[handle] = std::move(file);
    return handle;
}

PhoneFs::OpenFile* PhoneFs::openFile(uint64_t handle) {
    auto found = open_.find(handle);
    return found == open_.end() ? nullptr : found->second.get();
}

PhoneFs::OpenFile* PhoneFs::writerOf(const std::string& path) const {
    for (const auto& [handle, file] : open_) {
        if (file->tempFd >= 0 && file->path == path) return file.get();
    }
    return nullptr;
}

// ---- the PC copies --------------------------------------------------------------------

std::shared_ptr<PhoneFs::CachedFile> PhoneFs::cached(const std::string& path,
                                                     const IndexEntry& entry) {
    std::lock_guard lock(cacheMutex_);
    auto found = cache_.find(path);
    if (found != cache_.end() && !found->second->error && !found->second->cancelled) {
        return found->second;
    }
    auto file = std::make_shared<CachedFile>();
    file->path = path;
    file->listedSize = entry.size;
    file->unlisted = entry.size == kUnlistedSize;
    file->openMode = phoneOpenMode(entry.attributes, options_.usblan);
    file->fd = makeTempFile();
    if (file->fd < 0) return nullptr;
    cache_[path] = file;
    fetchQueue_.push_back(file);
    cacheChanged_.notify_all();
    return file;
}

std::optional<uint64_t> PhoneFs::cachedSize(const std::string& path) const {
    std::lock_guard lock(cacheMutex_);
    auto found = cache_.find(path);
    if (found == cache_.end() || !found->second->done) return std::nullopt;
    return found->second->have;
}

void PhoneFs::dropCache(const std::string& path) {
    std::lock_guard lock(cacheMutex_);
    auto found = cache_.find(path);
    if (found == cache_.end()) return;
    found->second->cancelled = true;
    cache_.erase(found);
}

int PhoneFs::waitFor(CachedFile& file, uint64_t end) {
    std::unique_lock lock(cacheMutex_);
    cacheChanged_.wait(
        lock, [&] { return file.have >= end || file.done || file.error || file.cancelled; });
    if (file.error) return -file.error;
    return file.cancelled && !file.done && file.have < end ? -EIO : 0;
}

void PhoneFs::fetchLoop() {
    for (;;) {
        std::shared_ptr<CachedFile> file;
        {
            std::unique_lock lock(cacheMutex_);
            cacheChanged_.wait(lock, [&] { return stopping_ || !fetchQueue_.empty(); });
            if (stopping_) return;
            file = fetchQueue_.front();
            fetchQueue_.pop_front();
            if (file->cancelled) continue;
        }
        fetch(*file);
    }
}

// Reads one phone file into its PC copy, block after block, publishing each chunk as it
// arrives. Holds the phone session for the whole open/seek/read/close.
void PhoneFs::fetch(CachedFile& file) {
    CommandSet& commands = parts_.commands;
    PhoneSession session(commands.transport());
    commands.transport().clearFailure();
    bool ok =
        commands.phoneOpenFile(file.path, file.openMode) == 0 && commands.phoneSeekFile(0, 0) == 0;
    std::vector<uint8_t> block;
    uint64_t have = 0;
    while (ok) {
        {
            std::lock_guard lock(cacheMutex_);
            if (file.cancelled || stopping_) break;
        }
        // A hidden file's made-up size bounds its read too: a phone that never sends the
        // short block cannot fill the PC copy without end.
        const uint32_t want =
            static_cast<uint32_t>(std::min<uint64_t>(kFetchChunk, file.listedSize - have));
        if (want == 0) break;
        ok = commands.phoneReadFile(block, want) == 0 &&
             writeAll(file.fd, block.data(), block.size(), off_t(have));
        if (!ok) break;
        have += block.size();
        {
            std::lock_guard lock(cacheMutex_);
            file.have = have;
        }
        cacheChanged_.notify_all();
        if (block.size() < want) break;
    }
    const bool closed = commands.phoneCloseFile() == 0;
    // A file that ends before its listed size is not handed out as whole: a reader past
    // the bytes that came gets EIO rather than an early end of file.
    bool cancelled = false;
    {
        std::lock_guard lock(cacheMutex_);
        cancelled = file.cancelled || stopping_;
    }
    const bool shortFile = ok && closed && !cancelled && !file.unlisted && have < file.listedSize;
    if (!ok || !closed) {
        phoneError("cannot read " + file.path);
    } else if (shortFile) {
        phoneError("cannot read " + file.path + ": " + shortFileText(have, file.listedSize), true);
    }
    {
        std::lock_guard lock(cacheMutex_);
        if (!ok || !closed || shortFile) {
            file.error = EIO;
        } else if (!file.cancelled) {
            file.done = true;
        }
    }
    cacheChanged_.notify_all();
}

// ---- open, read, write ----------------------------------------------------------------

int PhoneFs::open(const std::string& path, int flags, uint64_t& handle, bool& directIo) {
    directIo = false;
    if (path.rfind(std::string(kSeemFolder) + "/", 0) == 0) return openSeem(path, flags, handle);
    const IndexEntry* entry = entryOf(path);
    if (!entry) return -ENOENT;
    if (entry->folder) return -EISDIR;
    if (writesTo(flags)) return openWriter(path, flags, handle, true);
    auto file = std::make_unique<OpenFile>();
    file->path = path;
    file->cache = cached(path, *entry);
    if (!file->cache) return -EIO;
    directIo = file->cache->unlisted;
    {
        std::lock_guard lock(cacheMutex_);
        ++file->cache->readers;
    }
    handle = addOpen(std::move(file));
    return 0;
}

int PhoneFs::create(const std::string& path, int flags, uint64_t& handle) {
    if (path.rfind(kSeemFolder, 0) == 0) return -EACCES;
    if (const IndexEntry* entry = entryOf(path)) {
        if (entry->folder) return -EISDIR;
        return openWriter(path, flags | O_TRUNC, handle, true);
    }
    return openWriter(path, flags | O_TRUNC, handle, false);
}

int PhoneFs::openWriter(const std::string& path, int flags, uint64_t& handle, bool existing) {
    if (int problem = writableProblem(path, !existing)) return problem;
    auto file = std::make_unique<OpenFile>();
    file->path = path;
    file->tempFd = makeTempFile();
    if (file->tempFd < 0) return -errno;
    const IndexEntry* entry = existing ? entryOf(path) : nullptr;
    if (entry) {
        file->existed = true;
        file->replacedSize = entry->size;
        file->attributes = entry->attributes;
    } else {
        file->attributes = paneAttributeValue(kUploadedAttributeWord, options_.usblan);
    }
    if (flags & O_TRUNC || !entry) {
        file->dirty = true;  // the new (or emptied) file reaches the phone on flush
    } else if (int problem = copyIntoTemp(path, file->tempFd)) {
        return problem;
    }
    handle = addOpen(std::move(file));
    return 0;
}

// The phone file's bytes as the start of a writer's PC file.
int PhoneFs::copyIntoTemp(const std::string& path, int fd) {
    const IndexEntry* entry = entryOf(path);
    if (!entry) return -ENOENT;
    auto cache = cached(path, *entry);
    if (!cache) return -EIO;
    if (int problem = waitFor(*cache, UINT64_MAX)) return problem;
    std::vector<uint8_t> buffer(kCopyBuffer);
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(cache->fd, buffer.data(), buffer.size(), at);
        if (n < 0) return -EIO;
        if (n == 0) return 0;
        if (!writeAll(fd, buffer.data(), size_t(n), at)) return -EIO;
        at += n;
    }
}

int PhoneFs::read(uint64_t handle, char* buffer, size_t size, off_t offset) {
    OpenFile* file = openFile(handle);
    if (!file) return -EBADF;
    if (file->seem) {
        if (uint64_t(offset) >= file->seemData.size()) return 0;
        const size_t n = std::min(size, file->seemData.size() - size_t(offset));
        std::copy_n(file->seemData.begin() + offset, n, buffer);
        return static_cast<int>(n);
    }
    const int fd = file->tempFd >= 0 ? file->tempFd : file->cache->fd;
    if (file->tempFd < 0) {
        if (int problem = waitFor(*file->cache, uint64_t(offset) + size)) return problem;
    }
    const ssize_t n = ::pread(fd, buffer, size, offset);
    return n < 0 ? -EIO : static_cast<int>(n);
}

int PhoneFs::write(uint64_t handle, const char* buffer, size_t size, off_t offset) {
    OpenFile* file = openFile(handle);
    if (!file) return -EBADF;
    if (file->seem) {
        if (!file->seemWritable) return -EBADF;
        const size_t end = size_t(offset) + size;
        if (end > CommandSet::kSeemWriteMax) return -EFBIG;
        if (file->seemData.size() < end) file->seemData.resize(end);
        std::copy_n(buffer, size, file->seemData.begin() + offset);
        file->dirty = true;
        return static_cast<int>(size);
    }
    if (file->tempFd < 0) return -EBADF;
    if (uint64_t(offset) + size > UINT32_MAX - 1) return -EFBIG;
    if (!writeAll(file->tempFd, reinterpret_cast<const uint8_t*>(buffer), size, offset)) {
        return -EIO;
    }
    file->dirty = true;
    return static_cast<int>(size);
}

int PhoneFs::truncate(const std::string& path, off_t size, const uint64_t* handle) {
    if (handle) {
        OpenFile* file = openFile(*handle);
        if (!file) return -EBADF;
        if (file->seem) {
            if (!file->seemWritable) return -EBADF;
            file->seemData.resize(size_t(size));
        } else if (file->tempFd < 0 || ::ftruncate(file->tempFd, size) != 0) {
            return -EBADF;
        }
        file->dirty = true;
        return 0;
    }
    // A truncate of a closed file: written at once, as an open, truncate and close would.
    uint64_t own = 0;
    const int flags = O_WRONLY | (size == 0 ? O_TRUNC : 0);
    bool directIo = false;
    if (int problem = open(path, flags, own, directIo)) return problem;
    int result = truncate(path, size, &own);
    if (result == 0) result = flush(own);
    release(own);
    return result;
}

// ---- upload ---------------------------------------------------------------------------

int PhoneFs::flush(uint64_t handle) {
    OpenFile* file = openFile(handle);
    if (!file) return -EBADF;
    if (!file->dirty) return 0;  // nothing new since the last upload
    file->dirty = false;
    return file->seem ? flushSeem(*file) : flushFile(*file);
}

int PhoneFs::flushFile(OpenFile& file) {
    auto data = readAll(file.tempFd);
    if (!data) return -EIO;
    CommandSet& commands = parts_.commands;
    const std::string volume = file.path.substr(0, file.path.find('/', 1));
    if (auto problem = uploadSpaceProblem(commands, volume, data->size(), file.replacedSize)) {
        note(file.path + ": " + *problem);
        return -ENOSPC;
    }
    const uint32_t mode = file.existed ? phoneOpenMode(file.attributes, options_.usblan) : 4;
    const UploadResult upload = uploadPhoneFileReporting(commands, file.path, *data, mode);
    if (upload.result != 0) return uploadFailed(file, upload);
    const uint32_t word = file.existed ? paneAttributeValue(file.attributes, options_.usblan)
                                       : kUploadedAttributeWord;
    dropCache(file.path);
    noteNewFile(file.path, static_cast<uint32_t>(data->size()), word);
    file.existed = true;
    file.replacedSize = static_cast<uint32_t>(data->size());
    if (!file.wantedAttributes) return 0;
    const uint16_t wanted = *std::exchange(file.wantedAttributes, std::nullopt);
    const IndexEntry* entry = entryOf(file.path);
    if (entry && ((entry->attributes >> 8) & 0xFFFF) == wanted) return 0;
    return changeAttributes(file.path, wanted);
}

int PhoneFs::uploadFailed(OpenFile& file, const UploadResult& upload) {
    const int error = phoneError(
        "upload failed: " + file.path + ": " + uploadFailureText(upload, file.path), true);
    // Once writing began the phone file it replaced is gone.
    if (upload.partial != PartialFile::None && file.existed) forget(file.path);
    file.existed = false;
    file.replacedSize = 0;
    return error;
}

int PhoneFs::release(uint64_t handle) {
    auto found = open_.find(handle);
    if (found == open_.end()) return -EBADF;
    if (auto& cache = found->second->cache) {
        std::lock_guard lock(cacheMutex_);
        // A copy nobody reads any more is not fetched to its end: it is read again later.
        if (--cache->readers == 0 && !cache->done && !cache->error) {
            cache->cancelled = true;
            auto current = cache_.find(cache->path);
            if (current != cache_.end() && current->second == cache) cache_.erase(current);
        }
    }
    open_.erase(found);
    return 0;
}

}  // namespace mdk
