#include "backup/seem_snapshot.h"

#include <sys/stat.h>

#include <set>

#include "backup/manifest.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"
#include "platform/safe_file.h"
#include "seem/seem_file.h"
#include "seem/seem_transfer.h"

namespace mdk {

bool p2k05Framing(const std::string& framing) {
    return framing.rfind("P2k05", 0) == 0;
}

std::optional<SeemSnapshot> readBackupSeems(const std::string& folder, std::string& error) {
    struct stat st;
    if (::stat(manifestPath(folder).c_str(), &st) != 0) {
        error = folder + " is not a backup folder (no " + Manifest::kFileName + ")";
        return std::nullopt;
    }
    auto manifest = readManifest(folder, error);
    if (!manifest) return std::nullopt;
    SeemSnapshot snapshot{{}, manifest->model, manifest->framing};
    for (const auto& [key, seem] : manifest->seems) {
        const std::string path = storedSeemPath(folder, key);
        auto bytes = storedCopyWithHash(path, seem.sha256);
        if (!bytes || bytes->size() != seem.length) {
            error = path + " is missing or does not match the manifest";
            return std::nullopt;
        }
        snapshot.records[key] = std::move(*bytes);
    }
    return snapshot;
}

std::optional<SeemSnapshot> readSeemFileSnapshot(const std::string& path, std::string& error) {
    const std::string name = path.substr(path.rfind('/') + 1);
    const auto address = parseSeemFileName(name);
    if (!address) {
        error = path + " is neither a backup folder nor a seem file (xxxx_yyyy.seem)";
        return std::nullopt;
    }
    auto bytes = readWholeFile(path, error);
    if (!bytes) return std::nullopt;
    if (bytes->size() > kSeemRecordMax) {
        error = path + " is longer than any seem record";
        return std::nullopt;
    }
    SeemSnapshot snapshot;
    snapshot.records[{address->seem, address->record}] = std::move(*bytes);
    return snapshot;
}

std::optional<SeemRecordSet> readPhoneSeems(BackupPhone& phone, const SeemRecordSet& other,
                                            bool wholeSeems, std::string& error) {
    PhoneSession session(phone.commands.transport());
    SeemRecordSet records;
    std::set<uint16_t> seems;
    for (const auto& [key, data] : other) {
        if (wholeSeems) {
            seems.insert(key.first);
        } else if (auto read = readSeemRecord(phone.commands, key.first, key.second)) {
            records[key] = std::move(*read);
        }
    }
    for (uint16_t seem : seems) {
        for (auto& [record, data] : readSeemRecords(phone, seem)) {
            records[{seem, record}] = std::move(data);
        }
    }
    if (!phoneAnswers(phone)) {
        error = "the phone stopped answering while its seems were read";
        return std::nullopt;
    }
    return records;
}

}  // namespace mdk
