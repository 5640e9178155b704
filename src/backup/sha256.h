#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace mdk {

// The SHA-256 digest of bytes as 64 lower-case hexadecimal digits.
std::string sha256Hex(std::span<const uint8_t> bytes);

}  // namespace mdk
