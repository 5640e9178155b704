#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

// Hexadecimal text, as seem numbers, attribute words and command-line numbers are written.
namespace mdk {

// The value of one hexadecimal digit (either case), or -1.
inline int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One to maxDigits (at most 8) hexadecimal digits; nullopt for anything else.
inline std::optional<uint32_t> parseHex(std::string_view text, size_t maxDigits = 8) {
    if (text.empty() || text.size() > maxDigits || text.size() > 8) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return value;
}

}  // namespace mdk
