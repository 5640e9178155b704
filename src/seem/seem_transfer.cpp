#include "seem/seem_transfer.h"

#include "base/event_log.h"
#include "base/hex_text.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"
#include "platform/safe_file.h"
#include "seem/seem_file.h"

namespace mdk {
namespace {

bool writeSeemFile(CommandSet& commands, const std::string& path,
                   const std::vector<uint8_t>& data) {
    std::string error;
    if (writeFileSafely(path, data, ExistingFile::Replace, error)) return true;
    commands.log().logLine(error);
    return false;
}

std::string inFolder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}
}  // namespace

std::optional<uint16_t> seemNumberOf(const std::string& seemText) {
    auto value = parseHex(std::string_view(seemText).substr(0, 4), 4);
    if (!value) return std::nullopt;
    return static_cast<uint16_t>(*value);
}

std::optional<std::vector<uint8_t>> readSeemRecord(CommandSet& commands, uint16_t seem,
                                                   uint16_t record) {
    std::vector<uint8_t> reply;
    if (commands.phoneReadSeem(seem, record, 0, 0, reply) != 0) return std::nullopt;
    if (reply.empty()) return std::vector<uint8_t>{};
    return std::vector<uint8_t>(reply.begin() + 1, reply.end());
}

std::vector<SeemRecordRow> listSeemRecords(CommandSet& commands, const std::string& seemText,
                                           ProgressSink* progress) {
    std::vector<SeemRecordRow> rows;
    auto seem = seemNumberOf(seemText);
    if (!seem) return rows;
    PhoneSession session(commands.transport());
    QuietLog quiet(commands.log());
    if (progress) {
        progress->setRange(0, 256);
        progress->setPosition(0);
    }
    for (uint16_t record = 1; record <= kLastSeemFileRecord; ++record) {
        auto data = readSeemRecord(commands, *seem, record);
        if (!data) {
            if (progress) progress->setPosition(255);
            break;
        }
        rows.push_back({seemFileName(seemText.substr(0, 4), record), record, data->size()});
        if (progress) progress->step();
    }
    return rows;
}

std::vector<std::string> downloadWholeSeem(CommandSet& commands, const std::string& seemText,
                                           const std::string& targetFolder) {
    std::vector<std::string> written;
    auto seem = seemNumberOf(seemText);
    if (!seem) return written;
    PhoneSession session(commands.transport());
    QuietLog quiet(commands.log());
    // A phone that answers every record still gets no file beyond the last a seem file
    // name can hold.
    for (uint16_t record = 1; record <= kLastSeemFileRecord; ++record) {
        if (auto data = readSeemRecord(commands, *seem, record)) {
            const std::string path = inFolder(targetFolder, seemFileName(seemText, record));
            if (writeSeemFile(commands, path, *data)) written.push_back(path);
        }
        std::vector<uint8_t> probe;
        if (record == kLastSeemFileRecord ||
            commands.phoneReadSeem(*seem, uint16_t(record + 1), 0, 1, probe) != 0) {
            break;
        }
    }
    return written;
}

std::optional<std::string> downloadSeemRecord(CommandSet& commands, const std::string& rowText,
                                              const std::string& targetFolder) {
    commands.log().logLine("Download seem: " + rowText);
    if (rowText.size() < 9) return std::nullopt;
    auto seem = seemNumberOf(rowText.substr(0, 4));
    auto record = seemNumberOf(rowText.substr(5, 4));
    if (!seem || !record) return std::nullopt;
    auto data = readSeemRecord(commands, *seem, *record);
    if (!data) return std::nullopt;
    // The row text names the file; a name with a folder part is not taken.
    if (rowText.find('/') != std::string::npos) return std::nullopt;
    const std::string path = inFolder(targetFolder, rowText);
    if (!writeSeemFile(commands, path, *data)) return std::nullopt;
    return path;
}

}  // namespace mdk
