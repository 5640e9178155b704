#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/hex_text.h"

namespace mdk {

// The attribute value and catalogue word of the last attributes dialog; they outlive the
// dialog (a package line uses them).
struct AttributeState {
    uint32_t value = 0;
    uint32_t catalogueWord = 0;
};

// One check box of dialog 1400: its bit, control id and text.
struct AttributeBit {
    uint32_t mask;
    int controlId;
    const char* text;
};
const std::array<AttributeBit, 5>& attributeBits();

// The two parts of a phone row's attribute text: two owner digits, four attribute digits.
struct AttributeText {
    std::string owner;   // "07"
    std::string digits;  // "0004"
};
// The parts of a phone row's attribute word as the pane reads it: bits 24 to 31 and 8 to
// 23, or over USBLAN bits 16 to 23 and the low 16 bits.
AttributeText attributeParts(uint32_t paneAttributes, bool usblanMode);

// Owner digits, attribute digits and "00" read as one eight-digit hexadecimal number.
uint32_t catalogueWordOf(const AttributeText& text);
// The last four hexadecimal digits of value, upper case.
std::string lastFourHex(uint32_t value);

// Changes a phone file's attributes and patches the catalogue: full phone path, the new
// attribute value and the catalogue word.
using AttributeWriter =
    std::function<void(const std::string& path, uint32_t value, uint32_t catalogueWord)>;

}  // namespace mdk
