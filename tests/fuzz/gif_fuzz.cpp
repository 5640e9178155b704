// The GIF frame scanner on arbitrary bytes: it must never read out of bounds, and what it
// reports must lie inside the data and the size limits.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/gif_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::span<const uint8_t> data(bytes, size);
    const mdk::GifScan scan = mdk::scanGif(data);
    if (!scan.ok()) {
        if (!scan.frames.empty()) __builtin_trap();
        return 0;
    }
    if (scan.canvasWidth > mdk::kGifMaxCanvasSide || scan.canvasHeight > mdk::kGifMaxCanvasSide) {
        __builtin_trap();
    }
    for (size_t i = 0; i < scan.frames.size(); ++i) {
        const mdk::GifFrame& frame = scan.frames[i];
        if (frame.start >= frame.end || frame.end >= size) __builtin_trap();
        const auto single = mdk::singleFrameGif(data, scan, i);
        const size_t control = i > 0 && frame.hasControl ? mdk::kGifControlLength : 0;
        const size_t expected = scan.frames.front().start + control + (frame.end - frame.start) + 2;
        if (single.size() != expected || single.back() != 0x3B) __builtin_trap();
        const mdk::GifScan again = mdk::scanGif(single);
        if (!again.ok() || again.frames.empty()) __builtin_trap();
    }
    return 0;
}
