// The plain-C++ side of the PC panes: row order, decimal sizes, size and time texts.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "panes/compare_rows.h"
#include "panes/pc_listing.h"

namespace mdk {
namespace {

PaneRow row(const std::string& name, const std::string& size) {
    PaneRow r;
    r.name = name;
    r.size = size;
    r.folder = !size.empty() && size[0] == '<';
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
    EXPECT_EQ(decimalValue("0"), 0u);
    EXPECT_EQ(decimalValue("1073741824"), 1073741824u);
    EXPECT_EQ(decimalValue("4294967295"), 4294967295u);
    EXPECT_EQ(decimalValue("< DIR >"), decimalValue("< DIR >"));
    EXPECT_EQ(compareRows(row("a", "< DIR >"), row("b", "< DIR >"), 1), 0);
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
    EXPECT_EQ(rows[0].size, "1073741824");
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
