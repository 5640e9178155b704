#include "backup/manifest.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include "base/hex_text.h"
#include "platform/safe_file.h"

namespace mdk {
namespace {

using nlohmann::json;

// A manifest field of the wrong type or range: caught at the top of parseManifest.
struct BadField {
    std::string message;
};

std::string hex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

const json& field(const json& object, const char* name) {
    auto it = object.find(name);
    if (it == object.end()) throw BadField{std::string("missing field \"") + name + "\""};
    return *it;
}

std::string textField(const json& object, const char* name) {
    const json& value = field(object, name);
    if (!value.is_string()) throw BadField{std::string("\"") + name + "\" is not a text"};
    return value.get<std::string>();
}

uint32_t numberField(const json& object, const char* name, uint64_t max) {
    const json& value = field(object, name);
    if (!value.is_number_unsigned() || value.get<uint64_t>() > max) {
        throw BadField{std::string("\"") + name + "\" is not a number up to " +
                       std::to_string(max)};
    }
    return static_cast<uint32_t>(value.get<uint64_t>());
}

// Attribute words are written as eight hexadecimal digits, the way the phone pane and
// the simulated phone's dump show them.
uint32_t wordField(const json& object, const char* name) {
    const std::string text = textField(object, name);
    auto value = parseHex(text, 8);
    if (text.size() != 8 || !value) {
        throw BadField{std::string("\"") + name + "\" is not 8 hexadecimal digits"};
    }
    return *value;
}

std::string hashField(const json& object) {
    std::string text = textField(object, "sha256");
    const bool ok =
        text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
    if (!ok) throw BadField{"\"sha256\" is not 64 lower-case hexadecimal digits"};
    return text;
}

bool boolField(const json& object, const char* name) {
    auto it = object.find(name);
    if (it == object.end()) return false;
    if (!it->is_boolean()) throw BadField{std::string("\"") + name + "\" is not true or false"};
    return it->get<bool>();
}

const json& arrayField(const json& object, const char* name) {
    const json& value = field(object, name);
    if (!value.is_array()) throw BadField{std::string("\"") + name + "\" is not a list"};
    return value;
}

const json& entryObject(const json& entry) {
    if (!entry.is_object()) throw BadField{"a list entry is not an object"};
    return entry;
}

// Phone paths and the model name are 8-bit texts: every byte outside printable ASCII,
// and the backslash, is written as \xNN so that any of them reads back exactly (JSON
// texts are UTF-8, the phone's bytes need not be).
std::string escapedText(const std::string& text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '\\') {
            char text[5];
            std::snprintf(text, sizeof text, "\\x%02X", byte);
            out += text;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string unescapedText(const std::string& text, const char* what) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out.push_back(text[i]);
            continue;
        }
        // "\xNN": the escape needs all four characters.
        std::optional<uint32_t> value;
        if (i + 3 < text.size() && text[i + 1] == 'x') {
            value = parseHex(std::string_view(text).substr(i + 2, 2), 2);
        }
        if (!value) {
            throw BadField{std::string("bad escape in ") + what + ": " + text};
        }
        out.push_back(static_cast<char>(*value));
        i += 3;
    }
    return out;
}

std::string phonePathField(const json& object) {
    std::string path = unescapedText(textField(object, "path"), "phone path");
    if (path.empty() || path[0] != '/') throw BadField{"phone path not absolute: " + path};
    return path;
}

void readFiles(const json& root, Manifest& manifest) {
    for (const json& entry : arrayField(root, "files")) {
        const json& e = entryObject(entry);
        ManifestFile file;
        file.size = numberField(e, "size", std::numeric_limits<uint32_t>::max());
        file.listedSize = numberField(e, "listedSize", std::numeric_limits<uint32_t>::max());
        file.attributeWord = wordField(e, "attributes");
        file.sha256 = hashField(e);
        file.vanished = boolField(e, "vanished");
        manifest.files[phonePathField(e)] = file;
    }
}

void readFolders(const json& root, Manifest& manifest) {
    for (const json& entry : arrayField(root, "folders")) {
        const json& e = entryObject(entry);
        manifest.folders[phonePathField(e)] = {wordField(e, "attributes")};
    }
}

void readSeems(const json& root, Manifest& manifest) {
    for (const json& entry : arrayField(root, "seems")) {
        const json& e = entryObject(entry);
        const SeemKey key{static_cast<uint16_t>(numberField(e, "seem", 0xFFFF)),
                          static_cast<uint16_t>(numberField(e, "record", 0xFFFF))};
        manifest.seems[key] = {numberField(e, "length", 0xFFFF), hashField(e)};
    }
}

}  // namespace

std::string manifestText(const Manifest& manifest) {
    json files = json::array();
    for (const auto& [path, file] : manifest.files) {
        json entry = {{"path", escapedText(path)},
                      {"size", file.size},
                      {"listedSize", file.listedSize},
                      {"attributes", hex8(file.attributeWord)},
                      {"sha256", file.sha256}};
        if (file.vanished) entry["vanished"] = true;
        files.push_back(std::move(entry));
    }
    json folders = json::array();
    for (const auto& [path, folder] : manifest.folders) {
        folders.push_back(
            {{"path", escapedText(path)}, {"attributes", hex8(folder.attributeWord)}});
    }
    json seems = json::array();
    for (const auto& [key, seem] : manifest.seems) {
        seems.push_back({{"seem", key.first},
                         {"record", key.second},
                         {"length", seem.length},
                         {"sha256", seem.sha256}});
    }
    const json root = {{"version", Manifest::kVersion},
                       {"model", escapedText(manifest.model)},
                       {"family", manifest.family},
                       {"framing", manifest.framing},
                       {"date", manifest.date},
                       {"files", files},
                       {"folders", folders},
                       {"seems", seems}};
    return root.dump(1, '\t') + "\n";
}

std::optional<Manifest> parseManifest(std::string_view text, std::string& error) {
    const json root = json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        error = "the manifest is not a JSON object";
        return std::nullopt;
    }
    try {
        if (numberField(root, "version", 1000) != Manifest::kVersion) {
            error = "the manifest has an unknown version";
            return std::nullopt;
        }
        Manifest manifest;
        manifest.model = unescapedText(textField(root, "model"), "model");
        manifest.family = textField(root, "family");
        manifest.framing = textField(root, "framing");
        manifest.date = textField(root, "date");
        readFiles(root, manifest);
        readFolders(root, manifest);
        readSeems(root, manifest);
        return manifest;
    } catch (const BadField& bad) {
        error = "bad manifest: " + bad.message;
        return std::nullopt;
    }
}

std::string manifestPath(const std::string& folder) {
    return folder + "/" + Manifest::kFileName;
}

std::optional<Manifest> readManifest(const AnchoredFolder& folder, std::string& error) {
    if (folder.absent(Manifest::kFileName)) return Manifest{};
    auto bytes = folder.readFile(Manifest::kFileName, error);
    if (!bytes) return std::nullopt;
    auto manifest = parseManifest(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), error);
    if (!manifest) error = manifestPath(folder.path()) + ": " + error;
    return manifest;
}

std::optional<Manifest> readManifest(const std::string& folder, std::string& error) {
    const AnchoredFolder anchored(folder, false);
    struct stat st;
    if (!anchored.ok() && ::stat(folder.c_str(), &st) != 0 && errno == ENOENT) return Manifest{};
    return readManifest(anchored, error);
}

bool writeManifest(const AnchoredFolder& folder, const Manifest& manifest, std::string& error) {
    const std::string text = manifestText(manifest);
    return folder.writeFile(Manifest::kFileName,
                            std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                            ExistingFile::Replace, error);
}

bool writeManifest(const std::string& folder, const Manifest& manifest, std::string& error) {
    const AnchoredFolder anchored(folder, true);
    if (!anchored.ok()) {
        error = anchored.error();
        return false;
    }
    return writeManifest(anchored, manifest, error);
}

}  // namespace mdk
