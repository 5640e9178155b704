#include "platform/gif_scanner.h"

#include <algorithm>
#include <cstring>

namespace mdk {
namespace {

constexpr size_t kScreenDescriptorEnd = 13;
constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kLabelApplication = 0xFF;
constexpr uint8_t kLabelComment = 0xFE;
constexpr uint8_t kLabelPlainText = 0x01;
constexpr uint8_t kLabelGraphicControl = 0xF9;
// Bytes before the sub-blocks: introducer, label and the fixed block with its length byte.
constexpr size_t kApplicationHeader = 14;
constexpr size_t kCommentHeader = 2;
constexpr size_t kPlainTextHeader = 15;
constexpr size_t kImageDescriptorLength = 10;

uint16_t le16(std::span<const uint8_t> data, size_t at) {
    return static_cast<uint16_t>(data[at] | data[at + 1] << 8);
}

size_t colourTableBytes(uint8_t packed) {
    return 3u * (2u << (packed & 7));
}

// Skips sub-blocks from pos (each a length byte and that many bytes) up to the zero-length
// block. Returns the position of that block, or none when the data end first.
bool findBlockTerminator(std::span<const uint8_t> data, size_t pos, size_t& terminator) {
    while (pos < data.size()) {
        const uint8_t length = data[pos];
        if (length == 0) {
            terminator = pos;
            return true;
        }
        pos += 1u + length;
    }
    return false;
}

class Scanner {
public:
    explicit Scanner(std::span<const uint8_t> data) : data_(data) {}

    GifScan run() {
        if (!readHeader()) return std::move(scan_);
        scanBlocks();
        if (scan_.ok()) measureCanvas();
        if (!scan_.ok()) scan_.frames.clear();
        return std::move(scan_);
    }

private:
    bool fail(GifScanError error) {
        scan_.error = error;
        return false;
    }

    bool readHeader() {
        const bool signature = data_.size() >= 6 && std::memcmp(data_.data(), "GIF8", 4) == 0 &&
                               (data_[4] == '7' || data_[4] == '9') && data_[5] == 'a';
        if (!signature) return fail(GifScanError::BadSignature);
        if (data_.size() < kScreenDescriptorEnd) return fail(GifScanError::Truncated);
        scan_.screenWidth = le16(data_, 6);
        scan_.screenHeight = le16(data_, 8);
        scan_.packed = data_[10];
        scan_.backgroundIndex = data_[11];
        scan_.colourResolution = static_cast<uint8_t>(((scan_.packed >> 4) & 7) + 1);
        scan_.sortFlag = (scan_.packed & 0x08) != 0;
        pos_ = kScreenDescriptorEnd;
        if (scan_.packed & 0x80) {
            scan_.globalTableBytes = colourTableBytes(scan_.packed);
            if (data_.size() - pos_ < scan_.globalTableBytes) return fail(GifScanError::Truncated);
            std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(pos_), scan_.globalTableBytes,
                        scan_.globalTable.begin());
            pos_ += scan_.globalTableBytes;
        }
        return true;
    }

    void newRecord() {
        pending_ = GifFrame{};
        if (scan_.globalTableBytes) pending_.colours = scan_.globalTable;
    }

    // Looks for introducers one byte at a time, up to two bytes before the end.
    void scanBlocks() {
        newRecord();
        while (data_.size() >= 2 && pos_ < data_.size() - 2 && scan_.ok()) {
            const uint8_t byte = data_[pos_];
            bool more = true;
            if (byte == kExtensionIntroducer) {
                more = extension(data_[pos_ + 1]);
            } else if (byte == kImageSeparator) {
                more = image();
            } else {
                ++pos_;
            }
            if (!more) return;
        }
    }

    // False ends the scan: the extension runs past the end of the data.
    bool extension(uint8_t label) {
        switch (label) {
            case kLabelApplication:
                return skipSubBlocksAfter(kApplicationHeader);
            case kLabelComment:
                return skipSubBlocksAfter(kCommentHeader);
            case kLabelPlainText:
                return skipSubBlocksAfter(kPlainTextHeader);
            case kLabelGraphicControl:
                return graphicControl();
            default:
                ++pos_;  // not an extension this scanner knows: move on byte by byte
                return true;
        }
    }

    bool skipSubBlocksAfter(size_t header) {
        size_t terminator = 0;
        if (data_.size() - pos_ <= header ||
            !findBlockTerminator(data_, pos_ + header, terminator)) {
            return false;
        }
        pos_ = terminator + 1;
        return true;
    }

    bool graphicControl() {
        if (data_.size() - pos_ < kGifControlLength) return false;
        const uint8_t packed = data_[pos_ + 3];
        pending_.hasControl = true;
        pending_.controlStart = pos_;
        pending_.disposal = static_cast<uint8_t>((packed >> 2) & 7);
        pending_.userInput = (packed & 0x02) != 0;
        pending_.transparency = (packed & 0x01) != 0;
        pending_.delayCs = le16(data_, pos_ + 4);
        pending_.transparentIndex = data_[pos_ + 6];
        pos_ += kGifControlLength;
        return true;
    }

    bool image() {
        GifFrame& frame = pending_;
        frame.start = pos_;
        if (data_.size() - pos_ < kImageDescriptorLength) return fail(GifScanError::Truncated);
        frame.left = le16(data_, pos_ + 1);
        frame.top = le16(data_, pos_ + 3);
        frame.width = le16(data_, pos_ + 5);
        frame.height = le16(data_, pos_ + 7);
        const uint8_t packed = data_[pos_ + 9];
        frame.localTable = (packed & 0x80) != 0;
        frame.interlaced = (packed & 0x40) != 0;
        frame.sortFlag = (packed & 0x20) != 0;
        pos_ += kImageDescriptorLength;
        if (frame.localTable) {
            const size_t bytes = colourTableBytes(packed);
            if (data_.size() - pos_ < bytes) return fail(GifScanError::Truncated);
            frame.colours.fill(0);
            std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(pos_), bytes,
                        frame.colours.begin());
            pos_ += bytes;
        }
        if (pos_ >= data_.size()) return fail(GifScanError::Truncated);
        frame.lzwMinimumCodeSize = data_[pos_++];
        if (!findBlockTerminator(data_, pos_, frame.end)) return fail(GifScanError::Truncated);
        pos_ = frame.end + 1;
        if (frame.transparency) frame.transparentRgb = transparentColour(frame);
        scan_.frames.push_back(frame);
        newRecord();
        return true;
    }

    // The colour-table entry at the transparent index; pure black there is taken as white.
    static uint32_t transparentColour(const GifFrame& frame) {
        const size_t at = size_t{frame.transparentIndex} * 3;
        const uint32_t rgb = uint32_t{frame.colours[at]} << 16 |
                             uint32_t{frame.colours[at + 1]} << 8 | frame.colours[at + 2];
        return rgb == 0 ? 0xFFFFFFu : rgb;
    }

    void measureCanvas() {
        int width = scan_.screenWidth;
        int height = scan_.screenHeight;
        uint64_t framePixels = 0;
        for (const GifFrame& frame : scan_.frames) {
            width = std::max<int>(width, frame.width);
            height = std::max<int>(height, frame.height);
            framePixels += uint64_t{frame.width} * frame.height;
        }
        if (width > kGifMaxCanvasSide || height > kGifMaxCanvasSide ||
            framePixels > kGifMaxTotalFramePixels) {
            fail(GifScanError::TooLarge);
            return;
        }
        scan_.canvasWidth = width;
        scan_.canvasHeight = height;
    }

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    GifScan scan_;
    GifFrame pending_;
};

}  // namespace

GifScan scanGif(std::span<const uint8_t> data) {
    return Scanner(data).run();
}

std::vector<uint8_t> singleFrameGif(std::span<const uint8_t> data, const GifScan& scan,
                                    size_t frameIndex) {
    if (!scan.ok() || frameIndex >= scan.frames.size()) return {};
    const GifFrame& first = scan.frames.front();
    const GifFrame& frame = scan.frames[frameIndex];
    if (first.start > data.size() || frame.end > data.size() || frame.start > frame.end) return {};
    const bool ownControl = frameIndex > 0 && frame.hasControl;
    if (ownControl && frame.controlStart + kGifControlLength > data.size()) return {};
    std::vector<uint8_t> out;
    out.reserve(first.start + kGifControlLength + (frame.end - frame.start) + 2);
    out.insert(out.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(first.start));
    if (ownControl) {
        const auto control = data.begin() + static_cast<std::ptrdiff_t>(frame.controlStart);
        out.insert(out.end(), control, control + kGifControlLength);
    }
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(frame.start),
               data.begin() + static_cast<std::ptrdiff_t>(frame.end));
    out.push_back(0x00);  // block terminator
    out.push_back(0x3B);  // trailer
    return out;
}

int gifFrameDelayMs(uint16_t delayCs) {
    return (delayCs == 0 ? 10 : int{delayCs}) * 10;
}

GifSize gifZoomedSize(int width, int height, int zoomSteps) {
    return {width * zoomSteps / 10 + width, height * zoomSteps / 10 + height};
}

}  // namespace mdk
