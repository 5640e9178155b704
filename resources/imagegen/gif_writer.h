#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace mdk::imagegen {

// One frame of an animated GIF: palette indexes, row by row, and its delay.
struct GifFrame {
    std::vector<uint8_t> pixels;  // width * height indexes into the palette
    uint16_t delayCs = 10;        // hundredths of a second
};

// Writes a GIF89a of equal-size frames sharing one 256-colour palette, looping for ever.
// Returns false when the file cannot be written or a frame has the wrong size.
bool writeAnimatedGif(const std::string& path, uint16_t width, uint16_t height,
                      const std::array<uint32_t, 256>& paletteRgb,
                      const std::vector<GifFrame>& frames);

// The LZW-compressed image data of one frame (minimum code size 8), as sub-blocks
// including the terminating zero-length block.
std::vector<uint8_t> lzwImageData(const std::vector<uint8_t>& pixels);

}  // namespace mdk::imagegen
