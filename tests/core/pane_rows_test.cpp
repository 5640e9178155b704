// The plain-C++ side of the PC panes: row order, decimal sizes, size and time texts.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/hex_text.h"
#include "p2k/file_transfer.h"
#include "panes/attribute_logic.h"
#include "panes/compare_rows.h"
#include "panes/pane_rows.h"
#include "panes/pc_listing.h"
#include "panes/phone_rows.h"

namespace mdk {
namespace {

// The values the program once read back out of a row's column texts, kept here as the
// reference the typed values must match.
namespace text_route {

std::optional<uint32_t> parseRowSize(const std::string& sizeText) {
    uint32_t size = 0;
    const char* end = sizeText.data() + sizeText.size();
    auto [ptr, ec] = std::from_chars(sizeText.data(), end, size);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return size;
}

uint32_t sizeOfRowText(const std::string& sizeText) {
    return parseRowSize(sizeText).value_or(0);
}

bool isFolderRow(bool folder, const std::string& sizeText) {
    return folder || (!sizeText.empty() && sizeText[0] == '<');
}

uint32_t openModeFromAttributeText(const std::string& attributeText) {
    uint32_t value = 0;
    for (size_t i = 3; i < attributeText.size(); ++i) {
        value = value * 16 + static_cast<uint32_t>(std::max(0, hexDigitValue(attributeText[i])));
    }
    return value;
}

AttributeText splitAttributeText(std::string_view text) {
    AttributeText out{"00", "0000"};
    if (text.size() >= 2 && parseHex(text.substr(0, 2))) out.owner = std::string(text.substr(0, 2));
    if (text.size() >= 10 && parseHex(text.substr(6, 4))) {
        out.digits = std::string(text.substr(6, 4));
    }
    return out;
}

// The sort value of a size text, digit by digit in 32-bit unsigned arithmetic.
uint32_t decimalValue(std::string_view text) {
    uint32_t sum = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t digit = static_cast<uint8_t>(static_cast<uint8_t>(text[i]) - '0');
        uint32_t power = 1;
        for (size_t k = i + 1; k < text.size(); ++k) power *= 10;
        sum += digit * power;
    }
    return sum;
}

}  // namespace text_route

// A PC row of that size text ("< DIR >" for a folder).
PaneRow row(const std::string& name, const std::string& size) {
    const bool folder = !size.empty() && size[0] == '<';
    const uint64_t bytes = folder ? 0 : std::stoull(size);
    PaneRow r = pcRow(name, "/pc/" + name, folder, bytes, 0, defaultDateText);
    EXPECT_EQ(r.sizeText, size);
    return r;
}

struct OrderCase {
    const char* name;
    int mode;
    std::vector<std::string> input;  // "name|size"
    std::vector<std::string> sorted;
};

TEST(PaneRows, CompareRowsOrders) {
    const std::vector<std::string> mixed = {"b.txt|20",   "Zed|< DIR >",   "a.txt|100",
                                            "..|< DIR >", "alpha|< DIR >", "C.TXT|3"};
    const OrderCase cases[] = {
        {"names ascending", 3, mixed, {"..", "alpha", "Zed", "a.txt", "b.txt", "C.TXT"}},
        {"names descending (4)", 4, mixed, {"..", "Zed", "alpha", "C.TXT", "b.txt", "a.txt"}},
        {"names descending (0)", 0, mixed, {"..", "Zed", "alpha", "C.TXT", "b.txt", "a.txt"}},
        {"size ascending", 1, mixed, {"..", "Zed", "alpha", "C.TXT", "b.txt", "a.txt"}},
        {"size descending", 2, mixed, {"..", "Zed", "alpha", "a.txt", "b.txt", "C.TXT"}},
        // Sizes past 2 GB keep their order (a difference in 32 bits would turn negative).
        {"large sizes",
         1,
         {"big|4000000000", "small|1", "mid|2147483649"},
         {"small", "mid", "big"}},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<PaneRow> rows;
        for (const std::string& item : c.input) {
            const size_t bar = item.find('|');
            rows.push_back(row(item.substr(0, bar), item.substr(bar + 1)));
        }
        sortRows(rows, c.mode);
        std::vector<std::string> names;
        for (size_t i = 0; i < rows.size(); ++i) {
            names.push_back(rows[i].name);
            EXPECT_EQ(rows[i].param, uint32_t(i));
        }
        EXPECT_EQ(names, c.sorted);
        // Folder-like rows come first whatever the mode, ".." first of them.
        EXPECT_EQ(compareRows(row("z", "1"), row("a", "< DIR >"), c.mode), 1);
        EXPECT_EQ(compareRows(row("..", "< DIR >"), row("a", "< DIR >"), c.mode), -1);
        EXPECT_EQ(compareRows(row("a", "< DIR >"), row("..", "< DIR >"), c.mode), 1);
    }
}

TEST(PaneRows, DecimalValueReadsDigitByDigit) {
    EXPECT_EQ(text_route::decimalValue("0"), 0u);
    EXPECT_EQ(text_route::decimalValue("1073741824"), 1073741824u);
    EXPECT_EQ(text_route::decimalValue("4294967295"), 4294967295u);
    // Every byte counts as a digit, whatever it is: '<' is 12, ' ' is 240 ((0x20 - 0x30)
    // as a byte), 'D' 20, 'I' 25, 'R' 34, '>' 14.
    EXPECT_EQ(text_route::decimalValue("< DIR >"), 36230814u);
    EXPECT_EQ(text_route::decimalValue("1a"), 59u);
    EXPECT_EQ(compareRows(row("a", "< DIR >"), row("b", "< DIR >"), 1), 0);
    // The typed sort value is the value of the size text.
    for (const char* size : {"0", "1073741824", "4294967295"}) {
        EXPECT_EQ(rowSortSize(row("f", size)), text_route::decimalValue(size)) << size;
    }
}

// Every kind of row in both modes: the typed values give what the values read back out of
// the row's texts gave, and the column texts are those the panes show.
TEST(PaneRows, TypedValuesMatchTheTextRouteForEachKindAndMode) {
    auto phone = [](const char* name, bool folder, uint32_t size, uint32_t word, bool usblan) {
        const uint32_t attributes = paneAttributeValue(word, usblan);
        return phoneRow(
            PhoneRow{name, folder, size, attributes, Catalogue::attributeText(attributes, usblan)},
            std::string("/a/") + name);
    };
    struct Case {
        const char* what;
        PaneRow row;
        bool usblan;
        RowKind kind;
        const char* sizeText;
        const char* detailText;
    };
    const Case cases[] = {
        {"phone file", phone("song.mp3", false, 2500, 0x07000400, false), false, RowKind::File,
         "2500", "07    0004"},
        {"phone file over USBLAN", phone("song.mp3", false, 2500, 0x07000400, true), true,
         RowKind::File, "2500", "00    0004"},
        {"read-only phone file", phone("lock.bin", false, 1, 0x12345678, false), false,
         RowKind::File, "1", "12    3456"},
        {"read-only phone file over USBLAN", phone("lock.bin", false, 1, 0x12345678, true), true,
         RowKind::File, "1", "34    7856"},
        {"largest phone file", phone("big", false, 4294967295u, 0, false), false, RowKind::File,
         "4294967295", "00    0000"},
        {"hidden phone file", phone("hidden", false, kUnlistedFileSize, 0, false), false,
         RowKind::File, "99999999", "00    0000"},
        {"phone folder", phone("mobile", true, 0, 0x07001000, false), false, RowKind::Folder,
         "< DIR >", "07    0010"},
        {"phone folder over USBLAN", phone("mobile", true, 0, 0x07001000, true), true,
         RowKind::Folder, "< DIR >", "00    0010"},
        {"parent", parentRow("/a/"), false, RowKind::Parent, "< DIR >", ""},
        {"seem", seemRow("0032", "Setup"), false, RowKind::Seem, "< SEEM >", "Setup"},
        {"seem record", seemRecordRow("0032_0001.seem", 100), false, RowKind::SeemRecord, "100",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PaneRow& r = c.row;
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.sizeText, c.sizeText);
        EXPECT_EQ(r.detailText, c.detailText);
        const bool listedFolder =
            c.kind == RowKind::Folder || c.kind == RowKind::Parent || c.kind == RowKind::Seem;
        EXPECT_EQ(r.isFolder(), text_route::isFolderRow(listedFolder, r.sizeText));
        EXPECT_EQ(r.unlisted, std::string(c.what) == "hidden phone file");
        if (r.isFolder()) continue;
        EXPECT_EQ(std::optional(rowDownloadSize(r)), text_route::parseRowSize(r.sizeText));
        EXPECT_EQ(rowDownloadSize(r), text_route::sizeOfRowText(r.sizeText));
        EXPECT_EQ(rowSortSize(r), text_route::decimalValue(r.sizeText));
        if (c.kind != RowKind::File) continue;
        EXPECT_EQ(rowOpenMode(r, c.usblan), text_route::openModeFromAttributeText(r.detailText));
        const AttributeText typed = attributeParts(r.attributes, c.usblan);
        const AttributeText read = text_route::splitAttributeText(r.detailText);
        EXPECT_EQ(typed.owner, read.owner);
        EXPECT_EQ(typed.digits, read.digits);
    }
}

// A PC row: the last write and the path kept as values, the date text made from them.
TEST(PaneRows, PcRowsKeepTheirTimeAndPath) {
    const PaneRow file = pcRow("a.txt", "/pc/a.txt", false, 4294967296ULL + 7, 86400,
                               [](std::time_t t) { return "day " + std::to_string(t / 86400); });
    EXPECT_EQ(file.kind, RowKind::File);
    EXPECT_EQ(file.path, "/pc/a.txt");
    EXPECT_EQ(file.size, 4294967296ULL + 7);
    EXPECT_EQ(file.modified, 86400);
    EXPECT_EQ(file.sizeText, "7");
    EXPECT_EQ(file.detailText, "day 1");
    EXPECT_EQ(rowSortSize(file), text_route::decimalValue(file.sizeText));
    EXPECT_EQ(pcRow("..", "/pc", true, 4096, 0, defaultDateText).kind, RowKind::Parent);
    EXPECT_EQ(pcRow("sub", "/pc/sub", true, 4096, 0, defaultDateText).sizeText, "< DIR >");
}

// The size cases the row-text reader was tested with, now on the typed rows.
TEST(PaneRows, SizeCasesOnTypedRows) {
    struct SizeCase {
        const char* text;
        std::optional<uint32_t> size;
    };
    const SizeCase sizes[] = {{"0", 0u},          {"1024", 1024u}, {"4294967295", 4294967295u},
                              {"4294967296", {}}, {"< DIR >", {}}, {"", {}},
                              {"12 ", {}},        {"-1", {}}};
    for (const auto& c : sizes) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(text_route::parseRowSize(c.text), c.size);
        EXPECT_EQ(text_route::sizeOfRowText(c.text), c.size.value_or(0));
        if (c.size) {
            // A phone file of that size shows the text and downloads that many bytes.
            const PaneRow r = phoneRow(PhoneRow{"f", false, *c.size, 0, ""}, "/a/f");
            EXPECT_EQ(r.sizeText, c.text);
            EXPECT_EQ(rowDownloadSize(r), *c.size);
        } else {
            // No file row shows such a text: sizes are shown in decimal digits only.
            const PaneRow r = pcRow("f", "/pc/f", false, 4294967296ULL, 0, defaultDateText);
            EXPECT_NE(r.sizeText, c.text);
            EXPECT_EQ(r.sizeText.find_first_not_of("0123456789"), std::string::npos);
        }
    }
    EXPECT_TRUE(phoneRow(PhoneRow{"mobile", true, 0, 0, ""}, "/a/mobile").isFolder());
    EXPECT_TRUE(parentRow().isFolder());
    EXPECT_FALSE(phoneRow(PhoneRow{"a.txt", false, 12, 0, ""}, "/a/a.txt").isFolder());
    EXPECT_FALSE(seemRecordRow("0032_0001.seem", 0).isFolder());
}

TEST(PaneRows, FiveGigabyteFileShowsTheLow32Bits) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "mdk-rows-XXXXXX").string();
    const std::string dir = ::mkdtemp(pattern.data());
    const std::string path = dir + "/five.bin";
    std::ofstream(path).close();
    if (::truncate(path.c_str(), 5LL * 1024 * 1024 * 1024) != 0) {
        fs::remove_all(dir);
        GTEST_SKIP() << "no sparse files here";
    }
    const auto rows = readPcFolder(dir, false, defaultDateText);
    fs::remove_all(dir);
    ASSERT_EQ(rows.size(), size_t(1));
    EXPECT_EQ(rows[0].sizeText, "1073741824");
    EXPECT_EQ(sizeText(4294967296ULL + 7), "7");
}

TEST(PaneRows, TimeOfDayOnTheTwentyFourHourClock) {
    const struct {
        int hour, minute;
        const char* expected;
    } cases[] = {
        {15, 7, " 15:07"},  {0, 0, " 00:00"},   {12, 0, " 12:00"},
        {14, 31, " 14:31"}, {23, 59, " 23:59"}, {3, 7, " 03:07"},
    };
    for (const auto& c : cases) {
        std::tm local{};
        local.tm_hour = c.hour;
        local.tm_min = c.minute;
        EXPECT_EQ(timeOfDayText(local), c.expected) << c.hour << ":" << c.minute;
    }
}

TEST(PaneRows, DateTextEndsInTheTwentyFourHourTime) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 4;
    local.tm_hour = 14;
    local.tm_min = 31;
    local.tm_isdst = -1;
    const std::string text = defaultDateText(std::mktime(&local));
    ASSERT_GE(text.size(), 6u);
    EXPECT_EQ(text.substr(text.size() - 6), " 14:31");
}

}  // namespace
}  // namespace mdk
