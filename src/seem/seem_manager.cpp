#include "seem/seem_manager.h"

#include "base/hex_text.h"
#include "platform/safe_file.h"
#include "seem/seem_transfer.h"

namespace mdk {

std::optional<SeemAddress> parseTypedSeem(std::string_view seemText, std::string_view recordText) {
    auto seem = parseHex(seemText, 4);
    auto record = parseHex(recordText, 4);
    if (!seem || !record) return std::nullopt;
    return SeemAddress{uint16_t(*seem), uint16_t(*record)};
}

std::string seemManagerFileName(std::string_view seemText, std::string_view recordText) {
    return std::string(seemText) + "_" + std::string(recordText);
}

bool saveSeemRecord(CommandSet& commands, const SeemAddress& address, const std::string& path,
                    std::string& error) {
    error.clear();
    auto data = readSeemRecord(commands, address.seem, address.record);
    if (!data) return false;
    return writeFileSafely(path, *data, ExistingFile::Replace, error);
}

bool loadSeemRecord(CommandSet& commands, const SeemAddress& address, const std::string& path,
                    std::string& error) {
    auto file = readWholeFile(path, error);
    if (!file) return false;
    if (file->size() > kSeemFileMax) file->resize(kSeemFileMax);
    if (writeSeemFromFile(commands, address, *file) != 0) {
        error = "The phone did not take " + seemFileName(address.seem, address.record) + ".";
        return false;
    }
    return true;
}

}  // namespace mdk
