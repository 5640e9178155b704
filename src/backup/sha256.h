#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace mdk {

// The SHA-256 digest of bytes as 64 lower-case hexadecimal digits.
std::string sha256Hex(std::span<const uint8_t> bytes);

// The same digest taken piece by piece, for bytes that are never held whole.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void update(std::span<const uint8_t> bytes);
    // The digest of everything given so far; the digest ends here.
    std::string hex();

private:
    void* context_;  // the library's digest context
};

}  // namespace mdk
