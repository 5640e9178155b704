#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "sim/phone_model.h"

namespace mdk::sim {

// The phone's state as text, one record per line, fields separated by one TAB, the path
// always last:
//   phone   KIND    MODEL
//   volume  NAME    CAPACITY        FREE
//   folder  ATTR    PATH
//   file    ATTR    SIZE    CRC32   PATH
//   seem    SEEM    RECORD  LENGTH  HEX
//   count   COMMAND N
//   reads   N       PATH
// ATTR is the attribute word (8 upper-case hex digits), CRC32 the zlib CRC-32 of the
// file's bytes (8 upper-case hex digits), SEEM, RECORD and COMMAND 4 upper-case hex
// digits, HEX the record's bytes as upper-case hex pairs (empty for an empty record),
// SIZE, CAPACITY, FREE, LENGTH and N decimal. Bytes below 0x20, 0x7F and "\" in a path or
// model are written as \xNN. Lines are ordered: phone, volumes, folders and files by path,
// seems by number, command counts by code, then the read requests each file answered
// (files never read, and deleted files, have no line), by path.
// The first line is "# marrowdeck-phonesim state 1".
std::string formatState(const PhoneModel& model);
// Writes formatState to path through a temporary file and a rename, so a reader never
// sees half a dump. False with error set on failure.
bool writeState(const PhoneModel& model, const std::string& path, std::string& error);

// CRC-32 as zlib computes it (polynomial 0xEDB88320, reflected, inverted).
uint32_t crc32(std::span<const uint8_t> data);

}  // namespace mdk::sim
