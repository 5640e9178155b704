#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace mdk {

class AnchoredFolder;

// One phone file stored in a backup folder.
struct ManifestFile {
    uint32_t size = 0;           // bytes stored (what the download delivered)
    uint32_t listedSize = 0;     // the size the phone's catalogue listed
    uint32_t attributeWord = 0;  // the catalogue's attribute word, as stored
    std::string sha256;
    bool vanished = false;  // gone from the phone at a later backup; the copy is kept
};

// One phone folder, so that empty folders come back on restore.
struct ManifestFolder {
    uint32_t attributeWord = 0;
};

// One seem record stored in a backup folder.
struct ManifestSeem {
    uint32_t length = 0;
    std::string sha256;
};

using SeemKey = std::pair<uint16_t, uint16_t>;  // seem number, record number

// What a backup folder holds: the phone it came from and every file, folder and seem
// record that was stored completely. Keyed by phone path and seem address, so a manifest
// always reads and writes in the same order.
struct Manifest {
    static constexpr int kVersion = 1;
    static constexpr const char* kFileName = "manifest.json";

    std::string model;
    std::string family;   // "GSM", "CDMA" or "Linux"
    std::string framing;  // "P2k", "P2k05" or "P2k05 over USBLAN"
    std::string date;     // of the last backup run, UTC, ISO 8601
    std::map<std::string, ManifestFile> files;
    std::map<std::string, ManifestFolder> folders;
    std::map<SeemKey, ManifestSeem> seems;
};

std::string manifestText(const Manifest& manifest);
// Parses a manifest text; nullopt with error set when it is not one (bad JSON, a missing
// or mistyped field, a number out of range, a malformed hash).
std::optional<Manifest> parseManifest(std::string_view text, std::string& error);

// DIR/manifest.json.
std::string manifestPath(const std::string& folder);
// Reads the manifest of a backup folder; an absent manifest (or folder) gives an empty
// one (a new backup folder). nullopt with error set when it exists but cannot be read
// or parsed, or is a link.
std::optional<Manifest> readManifest(const AnchoredFolder& folder, std::string& error);
std::optional<Manifest> readManifest(const std::string& folder, std::string& error);
// Writes the manifest through a temporary file and a rename.
bool writeManifest(const AnchoredFolder& folder, const Manifest& manifest, std::string& error);
bool writeManifest(const std::string& folder, const Manifest& manifest, std::string& error);

}  // namespace mdk
