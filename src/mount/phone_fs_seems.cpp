#include <fcntl.h>

#include <cerrno>

#include "mount/open_files.h"
#include "mount/phone_fs.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"
#include "seem/seem_lists.h"
#include "seem/seem_transfer.h"

// The seem folder of the mount: one file per record, "SSSS_RRRR.seem".
namespace mdk {

std::optional<SeemAddress> PhoneFs::seemAddressOf(const std::string& path) const {
    const std::string prefix = std::string(kSeemFolder) + "/";
    if (path.rfind(prefix, 0) != 0) return std::nullopt;
    const std::string name = path.substr(prefix.size());
    auto address = parseSeemFileName(name);
    // Only the name's own form: four digits, "_", four digits, ".seem".
    if (!address || name.size() != 14 || name.substr(9) != ".seem") return std::nullopt;
    return address;
}

// The records of the seem list's seems that answer, read once: each seem's records 1, 2,
// ... up to the first that fails.
void PhoneFs::walkSeems() {
    if (seemsWalked_) return;
    seemsWalked_ = true;
    std::vector<std::string> entries;
    if (!readListFile(options_.seemListPath, entries)) {
        note("cannot read the seem list " + options_.seemListPath);
        return;
    }
    for (const std::string& entry : entries) {
        for (const SeemRecordRow& row : listSeemRecords(parts_.commands, entry, nullptr)) {
            if (auto address = parseSeemFileName(row.name)) {
                seemFiles_[seemFileName(address->seem, address->record)] = row.length;
            }
        }
        if (parts_.commands.transport().silent()) {
            phoneError("cannot read the seems");
            return;
        }
    }
}

int PhoneFs::seemGetattr(const std::string& path, struct stat& st) {
    auto address = seemAddressOf(path);
    if (!address) return -ENOENT;
    const std::string name = seemFileName(address->seem, address->record);
    auto known = seemFiles_.find(name);
    size_t length = 0;
    if (known != seemFiles_.end()) {
        length = known->second;
    } else {
        auto data = readSeemRecord(parts_.commands, address->seem, address->record);
        if (!data) {
            return parts_.commands.transport().silent() ? phoneError("cannot read " + name)
                                                        : -ENOENT;
        }
        length = data->size();
        seemFiles_[name] = length;
    }
    IndexEntry entry{name, false, static_cast<uint32_t>(length), 0};
    fillStat(entry, st);
    return 0;
}

int PhoneFs::openSeem(const std::string& path, int flags, uint64_t& handle) {
    auto address = seemAddressOf(path);
    if (!address) return -ENOENT;
    const bool writing = (flags & O_ACCMODE) != O_RDONLY || (flags & O_TRUNC);
    if (writing && options_.readOnly) return -EROFS;
    const std::string name = seemFileName(address->seem, address->record);
    auto data = readSeemRecord(parts_.commands, address->seem, address->record);
    if (!data) {
        return parts_.commands.transport().silent() ? phoneError("cannot read " + name) : -ENOENT;
    }
    auto file = std::make_unique<OpenFile>();
    file->path = path;
    file->seem = true;
    file->seemWritable = writing;
    file->seemAddress = *address;
    file->seemLength = data->size();
    file->seemData = std::move(*data);
    seemFiles_[name] = file->seemLength;
    if (flags & O_TRUNC) {
        file->seemData.clear();
        file->dirty = true;
    }
    handle = addOpen(std::move(file));
    return 0;
}

// A record keeps its length: a file of another length is refused before anything is sent.
int PhoneFs::flushSeem(OpenFile& file) {
    const std::string name = seemFileName(file.seemAddress.seem, file.seemAddress.record);
    if (file.seemData.size() != file.seemLength) {
        note(name + ": the record has " + std::to_string(file.seemLength) +
             " bytes, the file written " + std::to_string(file.seemData.size()) +
             "; nothing was written");
        return -EINVAL;
    }
    if (writeSeemFromFile(parts_.commands, file.seemAddress, file.seemData) != 0) {
        return phoneError("cannot write " + name);
    }
    return 0;
}

}  // namespace mdk
