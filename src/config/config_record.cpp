#include "config/config_record.h"

#include <algorithm>
#include <cstring>

namespace mdk {
namespace {

int32_t readI32(std::span<const uint8_t> b, size_t offset) {
    uint32_t v = uint32_t(b[offset]) | uint32_t(b[offset + 1]) << 8 |
                 uint32_t(b[offset + 2]) << 16 | uint32_t(b[offset + 3]) << 24;
    return static_cast<int32_t>(v);
}

void writeI32(ConfigRecord::Image& b, size_t offset, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    for (size_t i = 0; i < 4; ++i) b[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string readText(std::span<const uint8_t> b, size_t offset, size_t width) {
    // At most width - 1 characters: the field always keeps room for its terminator.
    size_t length = 0;
    while (length + 1 < width && b[offset + length] != 0) ++length;
    return std::string(reinterpret_cast<const char*>(&b[offset]), length);
}

void writeText(ConfigRecord::Image& b, size_t offset, size_t width, const std::string& text) {
    size_t length = std::min(text.size(), width - 1);
    std::memcpy(&b[offset], text.data(), length);
}

}  // namespace

std::optional<ConfigRecord> ConfigRecord::parse(std::span<const uint8_t> bytes) {
    if (bytes.size() < kSize) return std::nullopt;
    ConfigRecord r;
#define MDK_PARSE_I32(name, offset, def) r.name = readI32(bytes, offset);
#define MDK_PARSE_TEXT(name, offset, width, def) r.name = readText(bytes, offset, width);
#define MDK_PARSE_RAW(name, offset, width) \
    std::copy_n(bytes.begin() + offset, width, r.name.begin());
    MDK_CONFIG_FIELDS(MDK_PARSE_I32, MDK_PARSE_TEXT, MDK_PARSE_RAW)
#undef MDK_PARSE_I32
#undef MDK_PARSE_TEXT
#undef MDK_PARSE_RAW
    return r;
}

ConfigRecord::Image ConfigRecord::serialize() const {
    Image b{};
#define MDK_WRITE_I32(name, offset, def) writeI32(b, offset, name);
#define MDK_WRITE_TEXT(name, offset, width, def) writeText(b, offset, width, name);
#define MDK_WRITE_RAW(name, offset, width) std::copy(name.begin(), name.end(), b.begin() + offset);
    MDK_CONFIG_FIELDS(MDK_WRITE_I32, MDK_WRITE_TEXT, MDK_WRITE_RAW)
#undef MDK_WRITE_I32
#undef MDK_WRITE_TEXT
#undef MDK_WRITE_RAW
    return b;
}

bool ConfigRecord::imageIsValid(std::span<const uint8_t> bytes) {
    return bytes.size() >= kSize && readI32(bytes, 0) == -1 && readI32(bytes, 4) == 0;
}

size_t configTextWidth(const char* fieldName) {
#define MDK_WIDTH_I32(name, offset, def)
#define MDK_WIDTH_RAW(name, offset, width)
#define MDK_WIDTH_TEXT(name, offset, width, def) \
    if (std::strcmp(fieldName, #name) == 0) return width;
    MDK_CONFIG_FIELDS(MDK_WIDTH_I32, MDK_WIDTH_TEXT, MDK_WIDTH_RAW)
#undef MDK_WIDTH_I32
#undef MDK_WIDTH_TEXT
#undef MDK_WIDTH_RAW
    return 0;
}

}  // namespace mdk
