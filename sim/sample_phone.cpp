#include "sim/sample_phone.h"

#include <cstdio>

namespace mdk::sim {
namespace {

// Owners of the attribute word (bits 24-31).
constexpr uint32_t kOwnerUsb = 0x07;
constexpr uint32_t kOwnerCamera = 0x0E;
constexpr uint32_t kOwnerMicrophone = 0x2A;
// Attribute bits (bits 8-23 of the word).
constexpr uint32_t kReadonly = 0x01;
constexpr uint32_t kSystem = 0x04;

constexpr uint32_t word(uint32_t owner, uint32_t attributes) {
    return owner << 24 | attributes << 8;
}

uint32_t fnv1a(const std::string& text) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
    return hash;
}

bool isTextName(const std::string& path) {
    for (const char* ext : {".txt", ".cfg", ".lng"}) {
        const std::string e = ext;
        if (path.size() >= e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0) {
            return true;
        }
    }
    return false;
}

std::string numbered(const char* format, int n) {
    char name[128];
    std::snprintf(name, sizeof name, format, n);
    return name;
}

// A series of files: folder + name pattern with %d, count, size range.
struct Series {
    const char* folder;
    const char* pattern;
    int count;
    uint32_t minSize;
    uint32_t maxSize;
    uint32_t attributes;
};

void addSeries(PhoneModel& model, const Series& series) {
    for (int i = 1; i <= series.count; ++i) {
        const std::string path = std::string(series.folder) + "/" + numbered(series.pattern, i);
        const uint32_t span = series.maxSize - series.minSize + 1;
        const uint32_t size = series.minSize + fnv1a(path) % span;
        model.addFile(path, sampleBytes(path, size), series.attributes);
    }
}

void addP2kFiles(PhoneModel& model) {
    const uint32_t usb = word(kOwnerUsb, kSystem);
    const Series series[] = {
        {"/a/mobile/picture", "pic_%03d.jpg", 40, 300, 6000, usb},
        {"/a/mobile/picture", "wall_%02d.gif", 15, 200, 4000, usb},
        {"/a/mobile/picture", "Camera_%02d.jpg", 10, 2000, 9000, word(kOwnerCamera, kSystem)},
        {"/a/mobile/audio", "ring_%02d.mid", 30, 200, 3000, usb},
        {"/a/mobile/audio", "tone_%02d.mp3", 20, 2000, 9000, usb},
        {"/a/mobile/audio", "memo_%02d.amr", 10, 500, 4000, word(kOwnerMicrophone, kSystem)},
        // Names too long for the narrow (44-byte) search records.
        {"/a/mobile/audio", "Concert_live_recording_number_%02d.mp3", 5, 1000, 5000, usb},
        {"/a/mobile/video", "clip_%02d.3gp", 10, 5000, 12000, word(kOwnerCamera, kSystem)},
        {"/b/mobile/picture", "card_%03d.jpg", 40, 300, 6000, usb},
        {"/b/mobile/audio", "album_%02d.mp3", 30, 2000, 9000, usb},
        {"/c/system", "config_%02d.dat", 15, 16, 512, word(kOwnerUsb, kReadonly | kSystem)},
    };
    for (const Series& s : series) addSeries(model, s);
    for (const char* skin : {"Classic", "Ocean", "Night", "Sunrise"}) {
        const std::string folder = std::string("/a/mobile/skins/") + skin;
        for (const char* part : {"skin.cfg", "background.bmp", "icons.bmp", "softkeys.bmp"}) {
            const std::string path = folder + "/" + part;
            model.addFile(path, sampleBytes(path, 100 + fnv1a(path) % 3000), usb);
        }
    }
    // Sizes around the 1024-byte transfer block.
    const std::pair<const char*, uint32_t> edges[] = {
        {"empty.txt", 0},         {"one_byte.bin", 1},
        {"block.bin", 1024},      {"block_plus_one.bin", 1025},
        {"two_blocks.bin", 2048}, {"odd_size.bin", 2500},
        {"four_k.bin", 4096},
    };
    for (const auto& [name, size] : edges) {
        const std::string path = std::string("/a/mobile/other/") + name;
        model.addFile(path, sampleBytes(path, size), usb);
    }
    model.addFile("/b/Documents/readme.txt", sampleBytes("/b/Documents/readme.txt", 700), usb);
    model.addFile("/c/system/lang/en.lng", sampleBytes("/c/system/lang/en.lng", 900),
                  word(kOwnerUsb, kReadonly | kSystem));
}

void addLinuxFiles(PhoneModel& model) {
    const uint32_t usb = word(kOwnerUsb, kSystem);
    const Series series[] = {
        {"/ezxlocal/download/mystuff/pictures", "img_%02d.jpg", 20, 300, 6000, usb},
        {"/ezxlocal/download/mystuff/audios", "song_%02d.mp3", 10, 2000, 9000, usb},
        {"/ezxlocal/download/mystuff/videos", "clip_%02d.3gp", 5, 5000, 12000, usb},
        {"/usr/data_resource/ringtones", "ring_%02d.mid", 10, 200, 3000, usb},
        {"/usr/data_resource/images", "wall_%02d.jpg", 5, 300, 6000, usb},
        {"/mmc/mmca1/music", "track_%02d.mp3", 20, 2000, 9000, usb},
        {"/mmc/mmca1/photos", "photo_%02d.jpg", 10, 300, 6000, word(kOwnerCamera, kSystem)},
    };
    for (const Series& s : series) addSeries(model, s);
}

}  // namespace

std::vector<uint8_t> sampleBytes(const std::string& path, uint32_t size) {
    std::vector<uint8_t> data;
    data.reserve(size);
    if (isTextName(path)) {
        for (int line = 1; data.size() < size; ++line) {
            const std::string text = numbered("line %d of ", line) + path + "\n";
            data.insert(data.end(), text.begin(), text.end());
        }
        data.resize(size);
        return data;
    }
    uint32_t state = fnv1a(path) | 1;
    while (data.size() < size) {
        state ^= state << 13;  // xorshift32
        state ^= state >> 17;
        state ^= state << 5;
        data.push_back(static_cast<uint8_t>(state));
    }
    return data;
}

std::string bluetoothConfigText(const std::string& model) {
    return "[LOCAL]\ndefaultLocalDevName = " + model +
           "\ndefaultDiscoverable = 1\ndefaultConnectable = 1\n";
}

void addBluetoothConfig(PhoneModel& model) {
    if (model.fileBytes(kBluetoothConfigPath)) return;
    const std::string text = bluetoothConfigText(model.modelName());
    model.addFile(kBluetoothConfigPath, {text.begin(), text.end()}, word(kOwnerUsb, kSystem));
}

void addSampleSeems(PhoneModel& model) {
    auto filled = [](size_t length, uint8_t seed) {
        std::vector<uint8_t> data(length);
        for (size_t i = 0; i < length; ++i) data[i] = static_cast<uint8_t>(seed + 7 * i);
        return data;
    };
    model.setSeem(0x0032, 1, filled(4, 0x10));
    model.setSeem(0x0032, 2, filled(16, 0x20));
    model.setSeem(0x0032, 3, filled(100, 0x30));
    model.setSeem(0x02FE, 0x00FE, filled(32, 0x40));
    model.setSeem(0x0104, 1, filled(8, 0x50));
}

void loadSamplePhone(PhoneModel& model) {
    if (model.kind() == PhoneKind::Linux) {
        addLinuxFiles(model);
        addBluetoothConfig(model);
    } else {
        addP2kFiles(model);
    }
    addSampleSeems(model);
}

}  // namespace mdk::sim
