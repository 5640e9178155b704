#pragma once
// The checks of fuzz_checks_phone.cpp (phone replies) and fuzz_checks_files.cpp (files
// read from disk), listed by fuzz_checks.cpp.
#include <cstdint>
#include <span>
#include <string_view>

namespace mdk::fuzz {

inline std::string_view textOf(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

const char* checkClassicReply(std::span<const uint8_t> bytes);
const char* checkP2k05Reply(std::span<const uint8_t> bytes);
const char* checkUsblanReply(std::span<const uint8_t> bytes);
const char* checkCatalogue(std::span<const uint8_t> bytes);

const char* checkGif(std::span<const uint8_t> bytes);
const char* checkPackage(std::span<const uint8_t> bytes);
const char* checkSeemFunctions(std::span<const uint8_t> bytes);
const char* checkManifest(std::span<const uint8_t> bytes);
const char* checkSeemFile(std::span<const uint8_t> bytes);
const char* checkMountInfo(std::span<const uint8_t> bytes);

}  // namespace mdk::fuzz
