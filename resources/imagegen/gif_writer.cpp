#include "gif_writer.h"

#include <fstream>
#include <map>

namespace mdk::imagegen {

namespace {

constexpr int kMinCodeSize = 8;
constexpr int kClearCode = 1 << kMinCodeSize;
constexpr int kEndCode = kClearCode + 1;
constexpr int kMaxCode = 4095;

// Packs variable-width codes least significant bit first.
class BitPacker {
public:
    void put(int code, int width) {
        accumulator_ |= static_cast<uint32_t>(code) << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            bytes.push_back(static_cast<uint8_t>(accumulator_ & 0xFF));
            accumulator_ >>= 8;
            bits_ -= 8;
        }
    }
    void flush() {
        if (bits_ > 0) bytes.push_back(static_cast<uint8_t>(accumulator_ & 0xFF));
        accumulator_ = 0;
        bits_ = 0;
    }
    std::vector<uint8_t> bytes;

private:
    uint32_t accumulator_ = 0;
    int bits_ = 0;
};

void putWord(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

}  // namespace

std::vector<uint8_t> lzwImageData(const std::vector<uint8_t>& pixels) {
    BitPacker packer;
    std::map<std::pair<int, uint8_t>, int> table;
    int nextCode = kEndCode + 1;
    int width = kMinCodeSize + 1;
    packer.put(kClearCode, width);
    int prefix = -1;
    for (uint8_t pixel : pixels) {
        if (prefix < 0) {
            prefix = pixel;
            continue;
        }
        auto found = table.find({prefix, pixel});
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        packer.put(prefix, width);
        if (nextCode <= kMaxCode) {
            table[{prefix, pixel}] = nextCode++;
            if (nextCode > (1 << width) && width < 12) ++width;
        } else {
            packer.put(kClearCode, width);
            table.clear();
            nextCode = kEndCode + 1;
            width = kMinCodeSize + 1;
        }
        prefix = pixel;
    }
    if (prefix >= 0) packer.put(prefix, width);
    packer.put(kEndCode, width);
    packer.flush();

    std::vector<uint8_t> out;
    out.push_back(kMinCodeSize);
    for (size_t pos = 0; pos < packer.bytes.size(); pos += 255) {
        const size_t count = std::min<size_t>(255, packer.bytes.size() - pos);
        out.push_back(static_cast<uint8_t>(count));
        out.insert(out.end(), packer.bytes.begin() + static_cast<long>(pos),
                   packer.bytes.begin() + static_cast<long>(pos + count));
    }
    out.push_back(0);
    return out;
}

bool writeAnimatedGif(const std::string& path, uint16_t width, uint16_t height,
                      const std::array<uint32_t, 256>& paletteRgb,
                      const std::vector<GifFrame>& frames) {
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    putWord(out, width);
    putWord(out, height);
    out.push_back(0xF7);  // global table of 256 entries, 8 bits per colour
    out.push_back(0);     // background colour index
    out.push_back(0);     // no aspect ratio
    for (uint32_t rgb : paletteRgb) {
        out.push_back(static_cast<uint8_t>(rgb >> 16));
        out.push_back(static_cast<uint8_t>(rgb >> 8));
        out.push_back(static_cast<uint8_t>(rgb));
    }
    // Application extension: loop for ever.
    const uint8_t loop[] = {0x21, 0xFF, 0x0B, 'N', 'E',  'T',  'S',  'C',  'A', 'P',
                            'E',  '2',  '.',  '0', 0x03, 0x01, 0x00, 0x00, 0x00};
    out.insert(out.end(), std::begin(loop), std::end(loop));
    for (const GifFrame& frame : frames) {
        if (frame.pixels.size() != static_cast<size_t>(width) * height) return false;
        out.insert(out.end(), {0x21, 0xF9, 0x04, 0x04});  // graphic control: keep frame
        putWord(out, frame.delayCs);
        out.insert(out.end(), {0x00, 0x00});
        out.push_back(0x2C);
        putWord(out, 0);
        putWord(out, 0);
        putWord(out, width);
        putWord(out, height);
        out.push_back(0x00);
        const auto data = lzwImageData(frame.pixels);
        out.insert(out.end(), data.begin(), data.end());
    }
    out.push_back(0x3B);
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
}

}  // namespace mdk::imagegen
