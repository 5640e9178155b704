#include "base/visible_text.h"

#include <cstdint>
#include <cstdio>

namespace mdk {
namespace {

// The length of the valid UTF-8 sequence at the start of rest and its code point; 0 when
// the bytes there are not one (a stray or missing continuation byte, an overlong form, a
// surrogate, a value beyond U+10FFFF).
size_t sequenceAt(std::string_view rest, uint32_t& codePoint) {
    const auto lead = static_cast<uint8_t>(rest[0]);
    size_t length = 0;
    uint32_t lowest = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, lowest = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, lowest = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, lowest = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (rest.size() < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<uint8_t>(rest[i]);
        if ((next & 0xC0) != 0x80) return 0;
        codePoint = codePoint << 6 | (next & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < lowest || codePoint > 0x10FFFF || surrogate) return 0;
    return length;
}

bool isControl(uint32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

void appendEscaped(std::string& out, std::string_view bytes) {
    for (char c : bytes) {
        char text[5];
        std::snprintf(text, sizeof text, "\\x%02X", static_cast<uint8_t>(c));
        out += text;
    }
}

}  // namespace

std::string visibleText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        uint32_t codePoint = 0;
        const size_t length = sequenceAt(bytes, codePoint);
        if (length == 0) {
            appendEscaped(out, bytes.substr(0, 1));
            bytes.remove_prefix(1);
            continue;
        }
        if (isControl(codePoint)) {
            appendEscaped(out, bytes.substr(0, length));
        } else {
            out.append(bytes.substr(0, length));
        }
        bytes.remove_prefix(length);
    }
    return out;
}

std::string visibleLines(std::string_view text) {
    std::string out;
    for (size_t end; (end = text.find('\n')) != std::string_view::npos;) {
        out += visibleText(text.substr(0, end)) + "\n";
        text.remove_prefix(end + 1);
    }
    return out + visibleText(text);
}

}  // namespace mdk
