#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mdk {

class CommandSet;
class ProgressSink;

// One record row of the seem pseudo-folder.
struct SeemRecordRow {
    std::string name;  // "0032_0001.seem"
    uint16_t record = 0;
    size_t length = 0;  // the record's data length
};

// Reads a seem's records 1, 2, ... up to 00FE (quietly), stopping at the first that fails.
// The seem part of each name is the first four characters of seemText.
std::vector<SeemRecordRow> listSeemRecords(CommandSet& commands, const std::string& seemText,
                                           ProgressSink* progress);

// Reads one record whole: its data without the status byte; nullopt when the read fails.
std::optional<std::vector<uint8_t>> readSeemRecord(CommandSet& commands, uint16_t seem,
                                                   uint16_t record);

// Downloads a whole seem (row text of four characters) into targetFolder: record 1, then
// each next record up to 00FE while a one-byte probe of it succeeds. Returns the files
// written.
std::vector<std::string> downloadWholeSeem(CommandSet& commands, const std::string& seemText,
                                           const std::string& targetFolder);

// Downloads one record row ("0032_0001.seem") into targetFolder under the row's own name.
// The file written, or nullopt.
std::optional<std::string> downloadSeemRecord(CommandSet& commands, const std::string& rowText,
                                              const std::string& targetFolder);

// Reads the hexadecimal seem number of a seem list entry such as "0032"; nullopt when it is
// not one to four hexadecimal digits.
std::optional<uint16_t> seemNumberOf(const std::string& seemText);

}  // namespace mdk
