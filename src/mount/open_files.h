#pragma once
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mount/phone_fs.h"

namespace mdk {

// The PC copy of one phone file, filled by the fetch worker from the start on. The fields
// after fd are guarded by the file system's cache mutex.
struct PhoneFs::CachedFile {
    std::string path;
    uint32_t listedSize = 0;
    uint32_t openMode = 0;
    bool unlisted = false;  // a hidden file: read until the phone's short block
    int fd = -1;            // an unlinked PC file
    uint64_t have = 0;      // bytes in fd so far
    bool done = false;
    bool cancelled = false;
    int error = 0;    // an errno once the read failed
    int readers = 0;  // open handles reading it

    CachedFile() = default;
    CachedFile(const CachedFile&) = delete;
    CachedFile& operator=(const CachedFile&) = delete;
    ~CachedFile() {
        if (fd >= 0) ::close(fd);
    }
};

// One open of a mounted file: a reader of a cached phone file, a writer with its own PC
// file that is uploaded on flush, or a seem record held in memory.
struct PhoneFs::OpenFile {
    std::string path;
    std::shared_ptr<CachedFile> cache;  // reading a phone file
    int tempFd = -1;                    // writing a phone file
    bool dirty = false;                 // written since the last upload
    bool existed = false;               // replaces a listed phone file
    uint32_t replacedSize = 0;
    uint32_t attributes = 0;                   // the replaced file's, as the pane reads it
    std::optional<uint16_t> wantedAttributes;  // set while writing, sent after the upload
    bool seem = false;
    bool seemWritable = false;
    SeemAddress seemAddress;
    std::vector<uint8_t> seemData;
    size_t seemLength = 0;  // the record's length on the phone

    OpenFile() = default;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (tempFd >= 0) ::close(tempFd);
    }
    // The size a stat shows while the file is open for writing.
    uint64_t size() const;
};

}  // namespace mdk
