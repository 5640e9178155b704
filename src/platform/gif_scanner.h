#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mdk {

// Reads an animated GIF file (an outside file format) far enough to split it into its
// frames: the logical screen descriptor, the colour tables, the graphic control
// extensions and where each image starts and ends in the source bytes. Decoding the
// pixels is left to an image reader; each frame is handed to it as a single-frame GIF.
// Every read is bounds-checked: a truncated or hostile file never reads past its data.

inline constexpr int kGifMaxCanvasSide = 4096;
// A graphic control extension: introducer, label, block of 4 bytes with its length, zero.
inline constexpr size_t kGifControlLength = 8;
// Upper bound of the summed frame areas, so that a file of many large frames cannot ask
// for gigabytes of frame pictures.
inline constexpr uint64_t kGifMaxTotalFramePixels = 64ull * 1024 * 1024;

struct GifFrame {
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    bool sortFlag = false;
    bool localTable = false;
    bool interlaced = false;
    uint8_t lzwMinimumCodeSize = 0;
    uint16_t delayCs = 0;  // hundredths of a second
    uint8_t transparentIndex = 0;
    uint32_t transparentRgb = 0;  // 0xRRGGBB
    uint8_t disposal = 0;         // 0-7
    bool userInput = false;
    bool transparency = false;
    // The graphic control extension read before the image (8 bytes), when there was one.
    bool hasControl = false;
    size_t controlStart = 0;
    size_t start = 0;  // the image separator (0x2C)
    size_t end = 0;    // the image data's block terminator, not included
    std::array<uint8_t, 768> colours{};
};

enum class GifScanError {
    None,
    BadSignature,  // not "GIF87a" or "GIF89a"
    Truncated,     // the header, a colour table or an image runs past the end of the data
    TooLarge,      // the canvas or the frames would need more memory than allowed
};

struct GifScan {
    GifScanError error = GifScanError::None;
    uint16_t screenWidth = 0;
    uint16_t screenHeight = 0;
    uint8_t packed = 0;
    uint8_t backgroundIndex = 0;
    uint8_t colourResolution = 0;
    bool sortFlag = false;
    size_t globalTableBytes = 0;
    std::array<uint8_t, 768> globalTable{};
    std::vector<GifFrame> frames;
    // The largest of the logical screen and every frame size.
    int canvasWidth = 0;
    int canvasHeight = 0;

    bool ok() const { return error == GifScanError::None; }
};

// Splits data into frames. Frames found before an extension that runs past the end of
// the data are kept; an image that runs past it fails the whole scan (Truncated).
GifScan scanGif(std::span<const uint8_t> data);

// A GIF of one frame: the source bytes up to the first image, the frame's own graphic
// control extension (for later frames; the first frame's is part of those bytes), the
// frame's own bytes, the block terminator and the trailer. The image reader so sees the
// frame's own transparency. Empty when the frame index is out of range.
std::vector<uint8_t> singleFrameGif(std::span<const uint8_t> data, const GifScan& scan,
                                    size_t frameIndex);

// How long a frame stays, in milliseconds: a delay of 0 counts as 10 hundredths.
int gifFrameDelayMs(uint16_t delayCs);

// The canvas size after zoom steps of 10 % each (integer arithmetic).
struct GifSize {
    int width = 0;
    int height = 0;
};
GifSize gifZoomedSize(int width, int height, int zoomSteps);

}  // namespace mdk
