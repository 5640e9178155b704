// The seem function catalogue: its line rules, the search, and the table of record copies
// over the simulated phone (one read per record, toggles in the copies only, the write of
// the records, and the lines that name no usable bit).
#include "seem/seem_functions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "p2k_test_support.h"
#include "seem/seem_function_table.h"

namespace mdk::test {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::string_literals;

TEST(SeemCatalogue, LineGivesFieldsAndBit) {
    auto catalogue = parseSeemCatalogue("0032;0001;0A;3;Some setting\n");
    ASSERT_EQ(catalogue.functions.size(), 1u);
    const SeemFunction& f = catalogue.functions[0];
    EXPECT_EQ(f.seemText, "0032");
    EXPECT_EQ(f.recordText, "0001");
    EXPECT_EQ(f.offsetText, "0A");
    EXPECT_EQ(f.bitText, "3");
    EXPECT_EQ(f.description, "Some setting");
    ASSERT_TRUE(f.address);
    EXPECT_EQ(*f.address, (SeemBitAddress{0x32, 1, 10, 3}));
    EXPECT_EQ(kSeemBitMasks[f.address->bit], 0x08);
    EXPECT_FALSE(f.heading);
}

TEST(SeemCatalogue, LineRules) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> descriptions;
        size_t skipped;
    };
    const Case cases[] = {
        {"description keeps its semicolons", "1;1;0;0;a;b;c\n", {"a;b;c"}, 0},
        {"comment and empty line", "# x\n1;1;0;0;a\n\n1;1;0;0;b\n", {"a"}, 0},
        {"CR LF", "1;1;0;0;a\r\n1;1;0;1;b\r\n", {"a", "b"}, 0},
        {"last line without LF", "1;1;0;0;a\n1;1;0;1;b", {"a", "b"}, 0},
        {"no LF at all", "1;1;0;0;a", {}, 0},
        {"three separators skipped", "1;1;0;a\n1;1;0;0;b\n", {"b"}, 1},
        {"empty description", "1;1;0;0;\n", {""}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto catalogue = parseSeemCatalogue(c.text);
        std::vector<std::string> descriptions;
        for (const auto& f : catalogue.functions) descriptions.push_back(f.description);
        EXPECT_EQ(descriptions, c.descriptions);
        EXPECT_EQ(catalogue.skippedLines.size(), c.skipped);
    }
}

TEST(SeemCatalogue, HeadingsAndBadFieldsNameNoBit) {
    auto catalogue = parseSeemCatalogue(
        "0032;0001;-;-;Heading\n0032;0001;--x;9;Note\n0032;0001;00;8;Bit 8\n"
        "0032;0001;0x1;0;Hex prefix\n0032;zz;00;0;Bad record\n");
    ASSERT_EQ(catalogue.functions.size(), 5u);
    EXPECT_TRUE(catalogue.functions[0].heading);
    EXPECT_TRUE(catalogue.functions[1].heading);
    for (const auto& f : catalogue.functions) {
        SCOPED_TRACE(f.description);
        EXPECT_FALSE(f.address);
        EXPECT_EQ(f.fault.empty(), f.heading);
    }
    EXPECT_NE(catalogue.functions[2].fault.find("above 7"), std::string::npos);
}

TEST(SeemCatalogue, SearchIgnoresCaseContinuesAndWraps) {
    auto functions = parseSeemCatalogue(
                         "1;1;0;0;Clock\n1;1;0;1;Office mode\n1;1;0;2;Ring\n"
                         "1;1;0;3;Back OFFICE hours\n1;1;0;4;office\n")
                         .functions;
    for (const char* text : {"office", "OFFICE", "Office"}) {
        SCOPED_TRACE(text);
        int position = -1;
        std::vector<int> found;
        for (int i = 0; i < 5; ++i) {
            position = findSeemFunction(functions, text, position);
            found.push_back(position);
        }
        // The whole description "office" matches too; after the last match the walk
        // reports -1 and the next search starts at the top.
        EXPECT_EQ(found, (std::vector<int>{1, 3, 4, -1, 1}));
    }
    EXPECT_EQ(findSeemFunction(functions, "", -1), -1);
    EXPECT_EQ(findSeemFunction(functions, "nowhere", -1), -1);
    EXPECT_EQ(lowerAscii("AbZ-\xC4"), "abz-\xC4");
}

// A table over the simulated phone with two records: seem 0x32 record 1 (4 bytes) and
// record 2 (16 bytes).
class FunctionTable : public testing::Test {
protected:
    void SetUp() override {
        f.model.setSeem(0x32, 1, {0x01, 0x00, 0x80, 0xFF});
        f.model.setSeem(0x32, 2, Bytes(16, 0x00));
        f.link->clear();
    }
    size_t reads() const { return count(CommandSet::kReadSeem); }
    size_t writes() const { return count(CommandSet::kWriteSeem); }
    size_t count(uint16_t command) const {
        size_t n = 0;
        for (const auto& c : f.link->commands()) n += c.command == command;
        return n;
    }

    PhoneFixture f;
    SeemFunctionTable table{f.context.commands};
    const std::string text =
        "0032;0001;-;-;Heading\n"   // 0
        "0032;0001;00;0;First\n"    // 1: set
        "0032;0001;02;7;Second\n"   // 2: set, same record
        "0032;0001;01;3;Third\n"    // 3: clear
        "0032;0001;04;0;Beyond\n"   // 4: offset at the record's end
        "0032;0002;0F;1;Other\n"    // 5: clear, second record
        "0032;0009;00;0;Missing\n"  // 6: no such record
        "0032;0001;00;9;Bit 9\n";   // 7: bit above 7
};

TEST_F(FunctionTable, OneReadPerRecordAndIcons) {
    table.load(text, true);
    EXPECT_EQ(reads(), 3u) << "records 1, 2 and 9, once each";
    EXPECT_EQ(table.recordCount(), 3u);
    EXPECT_EQ(table.copyCount(), 2u);
    EXPECT_TRUE(table.bitStatesLoaded());
    using I = FunctionIcon;
    std::vector<I> icons;
    for (size_t i = 0; i < table.size(); ++i) icons.push_back(table.icon(i));
    EXPECT_EQ(icons, (std::vector<I>{I::Heading, I::Set, I::Set, I::Clear, I::NoState, I::Clear,
                                     I::NoState, I::NoState}));
    EXPECT_EQ(table.actualByte(2), 0x80);
    EXPECT_EQ(table.actualByte(4), std::nullopt);
}

TEST_F(FunctionTable, WithoutLinkNothingIsReadOrTogglable) {
    table.load(text, false);
    EXPECT_EQ(reads(), 0u);
    EXPECT_FALSE(table.bitStatesLoaded());
    for (size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(table.icon(i), i == 0 ? FunctionIcon::Heading : FunctionIcon::NoState);
        EXPECT_FALSE(table.toggle(i));
    }
    EXPECT_FALSE(table.changed());
}

TEST_F(FunctionTable, ToggleChangesTheCopyOnlyUntilWritten) {
    table.load(text, true);
    ASSERT_TRUE(table.toggle(3));
    EXPECT_EQ(table.icon(3), FunctionIcon::Set);
    EXPECT_EQ(table.actualByte(3), 0x08);
    EXPECT_TRUE(table.changed());
    EXPECT_EQ(f.model.seem(0x32, 1), (Bytes{0x01, 0x00, 0x80, 0xFF})) << "phone untouched";
    for (size_t refused : {0u, 4u, 6u, 7u}) EXPECT_FALSE(table.toggle(refused)) << refused;

    auto report = table.writeRecords();
    EXPECT_EQ(report.written, 2) << "every record with a copy, changed or not";
    EXPECT_EQ(writes(), 2u);
    EXPECT_EQ(f.model.seem(0x32, 1), (Bytes{0x01, 0x08, 0x80, 0xFF}));
    EXPECT_EQ(f.model.seem(0x32, 2), Bytes(16, 0x00));

    f.link->clear();
    table.load(text, true);
    EXPECT_EQ(table.icon(3), FunctionIcon::Set) << "read afresh";
    EXPECT_FALSE(table.changed());
}

TEST_F(FunctionTable, RecordWhoseLengthChangedIsSkippedAndLogged) {
    table.load(text, true);
    table.toggle(1);
    f.model.setSeem(0x32, 1, Bytes(40, 0xAA));  // longer than the copy now
    auto report = table.writeRecords();
    EXPECT_EQ(report.skipped, 1);
    EXPECT_EQ(report.written, 1);
    EXPECT_EQ(f.model.seem(0x32, 1), Bytes(40, 0xAA));
    EXPECT_TRUE(
        f.log.has("Write seems: seem 0032 record 0001 is now 40 bytes long, its copy 4; "
                  "not written."));
}

TEST_F(FunctionTable, FreedCopiesStopToggles) {
    table.load(text, true);
    table.freeCopies();
    EXPECT_FALSE(table.bitStatesLoaded());
    EXPECT_FALSE(table.toggle(1));
    EXPECT_EQ(table.icon(1), FunctionIcon::NoState);
}

TEST_F(FunctionTable, BadLinesAreLoggedOnce) {
    table.load(text + "0032;0001;00\n", true);
    table.load(text + "0032;0001;00\n", true);
    EXPECT_EQ(f.log.count("Seem bit: bit number 9 is above 7 (Bit 9)"), 1);
    EXPECT_EQ(f.log.count("Seem functions: line without four \";\" left out: 0032;0001;00"), 1);
}

TEST_F(FunctionTable, AtMost64Records) {
    std::string many;
    for (int r = 1; r <= 66; ++r) {
        char line[64];
        std::snprintf(line, sizeof line, "0040;%04X;00;0;Record %d\n", r, r);
        many += line;
        f.model.setSeem(0x40, uint16_t(r), {0x01});
    }
    table.load(many, true);
    EXPECT_EQ(table.recordCount(), 64u);
    EXPECT_EQ(reads(), 64u);
    EXPECT_EQ(table.icon(63), FunctionIcon::Set);
    EXPECT_EQ(table.icon(64), FunctionIcon::NoState);
    EXPECT_FALSE(table.toggle(65));
}

}  // namespace
}  // namespace mdk::test
