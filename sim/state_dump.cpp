#include "sim/state_dump.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace mdk::sim {
namespace {

std::string hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\') {
            out += "\\x" + hex(byte, 2);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

uint32_t crc32(std::span<const uint8_t> data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string formatState(const PhoneModel& model) {
    std::string out = "# marrowdeck-phonesim state 1\n";
    out +=
        std::string("phone\t") + kindName(model.kind()) + "\t" + escaped(model.modelName()) + "\n";
    for (const auto& volume : model.volumes()) {
        out += "volume\t" + escaped(volume.name) + "\t" + std::to_string(volume.capacity) + "\t" +
               std::to_string(model.freeSpace(volume.name).value_or(0)) + "\n";
    }
    for (const auto& entry : model.files()) {
        if (entry.folder) {
            out += "folder\t" + hex(entry.attributes, 8) + "\t" + escaped(entry.path) + "\n";
            continue;
        }
        const auto bytes = model.fileBytes(entry.path).value_or(std::vector<uint8_t>{});
        out += "file\t" + hex(entry.attributes, 8) + "\t" + std::to_string(bytes.size()) + "\t" +
               hex(crc32(bytes), 8) + "\t" + escaped(entry.path) + "\n";
    }
    for (const auto& seem : model.seems()) {
        out += "seem\t" + hex(seem.seem, 4) + "\t" + hex(seem.record, 4) + "\t" +
               std::to_string(seem.data.size()) + "\t";
        for (uint8_t byte : seem.data) out += hex(byte, 2);
        out += "\n";
    }
    for (const auto& [command, count] : model.commandCounts()) {
        out += "count\t" + hex(command, 4) + "\t" + std::to_string(count) + "\n";
    }
    for (const auto& [path, count] : model.fileReadCounts()) {
        out += "reads\t" + std::to_string(count) + "\t" + escaped(path) + "\n";
    }
    return out;
}

bool writeState(const PhoneModel& model, const std::string& path, std::string& error) {
    const std::string text = formatState(model);
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out || !out.write(text.data(), std::streamsize(text.size())) || !out.flush()) {
            error = "cannot write " + temporary;
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace mdk::sim
