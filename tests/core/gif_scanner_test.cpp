// The GIF frame scanner: header, colour tables, extensions, frame records, limits, and
// truncated or hostile files (the fuzz corpus and every past finding are replayed here).
#include "platform/gif_scanner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_checks.h"

namespace mdk {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Builds GIF files block by block; pixel data is a valid 1-pixel code stream, since the
// scanner only walks the blocks.
class GifBuilder {
public:
    GifBuilder& header(const char* signature, uint16_t width, uint16_t height, uint8_t packed) {
        for (int i = 0; i < 6; ++i) add(static_cast<uint8_t>(signature[i]));
        le16(width);
        le16(height);
        add(packed);
        add(0);  // background index
        add(0);  // aspect ratio
        return *this;
    }
    GifBuilder& table(size_t entries, uint8_t firstRed = 0) {
        for (size_t i = 0; i < entries; ++i) {
            add(static_cast<uint8_t>(i == 0 ? firstRed : i * 3));
            add(static_cast<uint8_t>(i * 5));
            add(static_cast<uint8_t>(i * 7));
        }
        return *this;
    }
    GifBuilder& graphicControl(uint8_t packed, uint16_t delay, uint8_t transparentIndex) {
        add({0x21, 0xF9, 0x04, packed});
        le16(delay);
        add({transparentIndex, 0x00});
        return *this;
    }
    GifBuilder& application() {
        add({0x21, 0xFF, 0x0B});
        for (char c : std::string("NETSCAPE2.0")) add(static_cast<uint8_t>(c));
        add({0x03, 0x01, 0x00, 0x00, 0x00});
        return *this;
    }
    GifBuilder& comment(const std::string& text) {
        add({0x21, 0xFE, static_cast<uint8_t>(text.size())});
        for (char c : text) add(static_cast<uint8_t>(c));
        add(0);
        return *this;
    }
    GifBuilder& plainText() {
        add({0x21, 0x01, 0x0C});
        for (int i = 0; i < 12; ++i) add(0);
        add({0x02, 'h', 'i', 0x00});
        return *this;
    }
    // Records where the image starts and where its terminator lies.
    GifBuilder& image(uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                      uint8_t packed = 0, size_t localEntries = 0) {
        starts.push_back(bytes.size());
        add(0x2C);
        le16(left);
        le16(top);
        le16(width);
        le16(height);
        add(packed);
        table(localEntries, 0x40);
        add({0x02, 0x02, 0x44, 0x01});
        ends.push_back(bytes.size());
        add(0x00);
        return *this;
    }
    GifBuilder& trailer() {
        add(0x3B);
        return *this;
    }

    Bytes bytes;
    std::vector<size_t> starts;
    std::vector<size_t> ends;

private:
    void add(uint8_t b) { bytes.push_back(b); }
    void add(std::initializer_list<uint8_t> list) { bytes.insert(bytes.end(), list); }
    void le16(uint16_t v) {
        add(static_cast<uint8_t>(v & 0xFF));
        add(static_cast<uint8_t>(v >> 8));
    }
};

GifBuilder animation() {
    GifBuilder gif;
    gif.header("GIF89a", 6, 5, 0xF2)
        .table(8)
        .application()
        .comment("made here")
        .graphicControl(0x00, 0, 0)
        .image(0, 0, 6, 5)
        .plainText()
        .graphicControl(0x09, 25, 1)  // disposal 2, transparency
        .image(1, 1, 3, 3, 0x81, 4)
        .graphicControl(0x06, 7, 0)  // disposal 1, user input
        .image(0, 0, 6, 5, 0x40)
        .trailer();
    return gif;
}

TEST(GifScanner, SignatureAndScreenDescriptor) {
    struct Case {
        const char* signature;
        GifScanError error;
    };
    for (const Case& c :
         {Case{"GIF87a", GifScanError::None}, Case{"GIF89a", GifScanError::None},
          Case{"GIF88a", GifScanError::BadSignature}, Case{"GIF89b", GifScanError::BadSignature},
          Case{"PNG89a", GifScanError::BadSignature}}) {
        GifBuilder gif;
        gif.header(c.signature, 160, 149, 0xA1).table(4).image(0, 0, 1, 1).trailer();
        const GifScan scan = scanGif(gif.bytes);
        EXPECT_EQ(scan.error, c.error) << c.signature;
        if (!scan.ok()) continue;
        EXPECT_EQ(scan.screenWidth, 160);
        EXPECT_EQ(scan.screenHeight, 149);
        EXPECT_EQ(scan.colourResolution, 3);
        EXPECT_TRUE(scan.sortFlag == false);
        EXPECT_EQ(scan.globalTableBytes, 12u);
        EXPECT_EQ(scan.frames.at(0).start, 13u + 12u);
    }
    EXPECT_EQ(scanGif(Bytes{'G', 'I', 'F'}).error, GifScanError::BadSignature);
    EXPECT_EQ(scanGif(Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0}).error, GifScanError::Truncated);
}

TEST(GifScanner, NoGlobalTableStartsScanningAtByte13) {
    GifBuilder gif;
    gif.header("GIF89a", 3, 3, 0x70).image(0, 0, 3, 3, 0x80, 2).trailer();
    const GifScan scan = scanGif(gif.bytes);
    ASSERT_TRUE(scan.ok());
    EXPECT_EQ(scan.globalTableBytes, 0u);
    EXPECT_EQ(scan.colourResolution, 8);
    ASSERT_EQ(scan.frames.size(), 1u);
    EXPECT_EQ(scan.frames[0].start, 13u);
    EXPECT_EQ(scan.frames[0].colours[0], 0x40);  // the local table
}

TEST(GifScanner, FrameRecordsOfAnAnimation) {
    const GifBuilder gif = animation();
    const GifScan scan = scanGif(gif.bytes);
    ASSERT_TRUE(scan.ok());
    ASSERT_EQ(scan.frames.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(scan.frames[i].start, gif.starts[i]);
        EXPECT_EQ(scan.frames[i].end, gif.ends[i]);
        EXPECT_EQ(scan.frames[i].lzwMinimumCodeSize, 2);
    }
    const GifFrame& second = scan.frames[1];
    EXPECT_EQ(second.delayCs, 25);
    EXPECT_EQ(second.disposal, 2);
    EXPECT_TRUE(second.transparency);
    EXPECT_EQ(second.transparentIndex, 1);
    EXPECT_EQ(second.transparentRgb, 0x030507u);  // local table entry 1
    EXPECT_TRUE(second.localTable);
    EXPECT_EQ(second.colours[0], 0x40);
    EXPECT_EQ(second.colours[12], 0);  // the local table replaced the global one whole
    EXPECT_EQ(second.left, 1);
    EXPECT_EQ(second.width, 3);
    const GifFrame& third = scan.frames[2];
    EXPECT_EQ(third.delayCs, 7);
    EXPECT_EQ(third.disposal, 1);
    EXPECT_TRUE(third.userInput);
    EXPECT_FALSE(third.transparency);
    EXPECT_TRUE(third.interlaced);
    EXPECT_EQ(third.colours[12], 12);  // global table entry 4: red 4 * 3
    EXPECT_EQ(scan.canvasWidth, 6);
    EXPECT_EQ(scan.canvasHeight, 5);
}

TEST(GifScanner, BlackTransparentColourIsTakenAsWhite) {
    GifBuilder gif;
    gif.header("GIF89a", 1, 1, 0x80).table(2).graphicControl(0x01, 0, 0).image(0, 0, 1, 1);
    gif.trailer();
    const GifScan scan = scanGif(gif.bytes);
    ASSERT_EQ(scan.frames.size(), 1u);
    EXPECT_EQ(scan.frames[0].transparentRgb, 0xFFFFFFu);
}

TEST(GifScanner, DelaysAndZoom) {
    EXPECT_EQ(gifFrameDelayMs(0), 100);
    EXPECT_EQ(gifFrameDelayMs(25), 250);
    EXPECT_EQ(gifFrameDelayMs(1), 10);
    const GifSize twice = gifZoomedSize(160, 149, 2);
    EXPECT_EQ(twice.width, 192);
    EXPECT_EQ(twice.height, 178);
    const GifSize none = gifZoomedSize(160, 149, 0);
    EXPECT_EQ(none.width, 160);
    EXPECT_EQ(none.height, 149);
}

TEST(GifScanner, CanvasIsTheLargestOfScreenAndFrames) {
    GifBuilder gif;
    gif.header("GIF89a", 10, 2, 0x00).image(0, 0, 4, 7).image(0, 0, 3, 3).trailer();
    const GifScan scan = scanGif(gif.bytes);
    ASSERT_TRUE(scan.ok());
    EXPECT_EQ(scan.canvasWidth, 10);
    EXPECT_EQ(scan.canvasHeight, 7);
}

TEST(GifScanner, OversizedCanvasIsRefused) {
    struct Case {
        uint16_t screen;
        uint16_t frame;
        GifScanError error;
    };
    for (const Case& c :
         {Case{4096, 1, GifScanError::None}, Case{4097, 1, GifScanError::TooLarge},
          Case{65535, 1, GifScanError::TooLarge}, Case{1, 65535, GifScanError::TooLarge}}) {
        GifBuilder gif;
        gif.header("GIF89a", c.screen, c.screen, 0x00).image(0, 0, c.frame, c.frame).trailer();
        const GifScan scan = scanGif(gif.bytes);
        EXPECT_EQ(scan.error, c.error) << c.screen << " " << c.frame;
        if (!scan.ok()) {
            EXPECT_TRUE(scan.frames.empty());
        }
    }
    // Many frames of the largest size would need gigabytes of pictures.
    GifBuilder many;
    many.header("GIF89a", 4096, 4096, 0x00);
    for (int i = 0; i < 5; ++i) many.image(0, 0, 4096, 4096);
    EXPECT_EQ(scanGif(many.trailer().bytes).error, GifScanError::TooLarge);
}

TEST(GifScanner, TruncatedAtEveryBlockBoundary) {
    const GifBuilder gif = animation();
    const GifScan full = scanGif(gif.bytes);
    ASSERT_EQ(full.frames.size(), 3u);
    for (size_t length = 0; length < gif.bytes.size(); ++length) {
        const Bytes cut(gif.bytes.begin(), gif.bytes.begin() + static_cast<std::ptrdiff_t>(length));
        const GifScan scan = scanGif(cut);
        // Complete images before the cut are the full file's first frames.
        size_t complete = 0;
        while (complete < 3 && gif.ends[complete] < length) ++complete;
        const bool insideImage = complete < 3 && gif.starts[complete] + 2 < length;
        if (length < 6) {
            EXPECT_EQ(scan.error, GifScanError::BadSignature) << length;
        } else if (length < 13 + 24 || insideImage) {
            EXPECT_EQ(scan.error, GifScanError::Truncated) << length;
        } else {
            ASSERT_TRUE(scan.ok()) << length;
            ASSERT_EQ(scan.frames.size(), complete) << length;
            for (size_t i = 0; i < complete; ++i) {
                EXPECT_EQ(scan.frames[i].start, full.frames[i].start);
                EXPECT_EQ(scan.frames[i].end, full.frames[i].end);
            }
        }
    }
}

TEST(GifScanner, SubBlockLengthsRunningPastTheEnd) {
    // A comment whose block claims 200 bytes, and image data whose block does the same.
    GifBuilder comment;
    comment.header("GIF89a", 2, 2, 0x00).image(0, 0, 2, 2);
    comment.bytes.insert(comment.bytes.end(), {0x21, 0xFE, 200, 'x', 'y'});
    const GifScan kept = scanGif(comment.bytes);
    ASSERT_TRUE(kept.ok());
    EXPECT_EQ(kept.frames.size(), 1u);

    GifBuilder image;
    image.header("GIF89a", 2, 2, 0x00);
    image.bytes.insert(image.bytes.end(), {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x00, 0x02, 200, 1, 2});
    EXPECT_EQ(scanGif(image.bytes).error, GifScanError::Truncated);

    GifBuilder table;
    table.header("GIF89a", 2, 2, 0x87).table(10);  // 256 entries announced
    EXPECT_EQ(scanGif(table.bytes).error, GifScanError::Truncated);
}

TEST(GifScanner, SingleFrameGifIsPrefixFrameTerminatorAndTrailer) {
    const GifBuilder gif = animation();
    const GifScan scan = scanGif(gif.bytes);
    ASSERT_TRUE(scan.ok());
    const Bytes single = singleFrameGif(gif.bytes, scan, 1);
    Bytes expected(gif.bytes.begin(),
                   gif.bytes.begin() + static_cast<std::ptrdiff_t>(gif.starts[0]));
    // The frame's own graphic control extension: delay 25, transparency.
    expected.insert(expected.end(), {0x21, 0xF9, 0x04, 0x09, 25, 0, 1, 0});
    expected.insert(expected.end(), gif.bytes.begin() + static_cast<std::ptrdiff_t>(gif.starts[1]),
                    gif.bytes.begin() + static_cast<std::ptrdiff_t>(gif.ends[1]));
    expected.push_back(0x00);
    expected.push_back(0x3B);
    EXPECT_EQ(single, expected);
    const GifScan again = scanGif(single);
    ASSERT_TRUE(again.ok());
    ASSERT_EQ(again.frames.size(), 1u);
    EXPECT_EQ(again.frames[0].delayCs, 25);
    EXPECT_TRUE(again.frames[0].transparency);
    // The first frame's extension is already among the bytes before it.
    EXPECT_EQ(singleFrameGif(gif.bytes, scan, 0).size(), gif.ends[0] + 2);
    EXPECT_TRUE(singleFrameGif(gif.bytes, scan, 3).empty());
}

fs::path fuzzFolder() {
    if (const char* source = std::getenv("MDK_SOURCE_DIR")) return fs::path(source) / "tests/fuzz";
    return fs::path(__FILE__).parent_path().parent_path() / "fuzz";
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The fuzz target's checks on the seed corpus and on the inputs of past findings.
TEST(GifScanner, FuzzCorpusAndFindingsReplay) {
    const fuzz::Check check = fuzz::checkFor("gif");
    ASSERT_NE(check, nullptr);
    size_t replayed = 0;
    for (const char* folder : {"corpus/gif", "regressions/gif"}) {
        const fs::path dir = fuzzFolder() / folder;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            const Bytes data = readFile(entry.path());
            ++replayed;
            const char* fault = check(data);
            EXPECT_EQ(fault, nullptr) << entry.path() << ": " << (fault ? fault : "");
        }
    }
    EXPECT_GE(replayed, 5u) << "the seed corpus is missing from " << fuzzFolder();
}

}  // namespace
}  // namespace mdk
