#include "panes/attribute_logic.h"

#include <cstdio>

namespace mdk {

const std::array<AttributeBit, 5>& attributeBits() {
    static const std::array<AttributeBit, 5> bits = {{
        {0x01, 1405, "Readonly, cannot overwrite/delete"},
        {0x02, 1406, "Hidden, not shown in phone apps"},
        {0x04, 1407, "System, survive Master reset/clear"},
        {0x20, 1408, "Archive"},
        {0x40, 1409, "Don't copy"},
    }};
    return bits;
}

AttributeText attributeParts(uint32_t paneAttributes, bool usblanMode) {
    const uint32_t owner = (paneAttributes >> (usblanMode ? 16 : 24)) & 0xFF;
    const uint32_t digits = (usblanMode ? paneAttributes : paneAttributes >> 8) & 0xFFFF;
    char owned[8];
    char attributes[8];
    std::snprintf(owned, sizeof owned, "%02X", owner);
    std::snprintf(attributes, sizeof attributes, "%04X", digits);
    return {owned, attributes};
}

uint32_t catalogueWordOf(const AttributeText& text) {
    return parseHex(text.owner + text.digits + "00").value_or(0);
}

std::string lastFourHex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return std::string(text + 4);
}

}  // namespace mdk
