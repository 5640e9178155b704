#pragma once
#include <cctype>
#include <string>
#include <string_view>

namespace mdk {

// The text with A-Z as a-z (phone names compare without case, byte by byte).
inline std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace mdk
