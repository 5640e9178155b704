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

AttributeText splitAttributeText(std::string_view text) {
    AttributeText out{"00", "0000"};
    if (text.size() >= 2 && parseHex(text.substr(0, 2))) out.owner = std::string(text.substr(0, 2));
    if (text.size() >= 10 && parseHex(text.substr(6, 4)))
        out.digits = std::string(text.substr(6, 4));
    return out;
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
