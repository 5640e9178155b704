// The comparison of two seem record sets: changed bytes and bits, records grown, shrunk or
// found on one side only, and each changed bit named by the catalogue where it names it.
#include "seem/seem_diff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mdk::test {
namespace {

using Bytes = std::vector<uint8_t>;

// The catalogue the cases name their bits with: a heading, two named bits of 0032/0001,
// a second heading and one bit of 0032/0002.
const char* const kCatalogue =
    "0032;0001;-;-;Idle screen\n"
    "0032;0001;01;1;Show the clock\n"
    "0032;0001;01;6;Big clock\n"
    "0032;0002;-;-;Camera\n"
    "0032;0002;00;0;Shutter sound\n"
    "0032;0002;00;0;Shutter sound (a second line for the same bit)\n";

// A difference as one line: "NAME STATE LENGTHS" and per byte "@OFFSET OLD>NEW" with its
// bits "bB:O>N" and, for a named bit, "=description/heading".
std::string render(const SeemRecordDiff& d) {
    static const char* const states[] = {"changed", "onlyA", "onlyB"};
    std::string text = seemRecordName(d.key) + " " + states[int(d.state)] + " " +
                       std::to_string(d.lengthA) + "/" + std::to_string(d.lengthB);
    if (d.lengthDiffers()) text += " length";
    char byte[32];
    for (const SeemByteChange& c : d.bytes) {
        std::snprintf(byte, sizeof byte, " @%X %02X>%02X", unsigned(c.offset), unsigned(c.oldValue),
                      unsigned(c.newValue));
        text += byte;
        for (const SeemBitChange& b : c.bits) {
            text += " b" + std::to_string(b.bit) + ":" + std::to_string(b.oldValue) + ">" +
                    std::to_string(b.newValue);
            if (b.function) text += "=" + b.description + "/" + b.heading;
        }
    }
    return text;
}

TEST(SeemDiff, Cases) {
    struct Case {
        const char* name;
        SeemRecordSet a;
        SeemRecordSet b;
        std::vector<std::string> diffs;
    };
    const Case cases[] = {
        {"equal sets", {{{0x32, 1}, {1, 2}}}, {{{0x32, 1}, {1, 2}}}, {}},
        {"both empty", {}, {}, {}},
        {"one bit the catalogue names",
         {{{0x32, 1}, {0x00, 0x01}}},
         {{{0x32, 1}, {0x00, 0x03}}},
         {"0032_0001 changed 2/2 @1 01>03 b1:0>1=Show the clock/Idle screen"}},
        {"one bit the catalogue does not name",
         {{{0x32, 1}, {0x00, 0x01}}},
         {{{0x32, 1}, {0x00, 0x00}}},
         {"0032_0001 changed 2/2 @1 01>00 b0:1>0"}},
        {"several bits in one byte, two of them named",
         {{{0x32, 1}, {0x00, 0x0F}}},
         {{{0x32, 1}, {0x00, 0x4C}}},
         {"0032_0001 changed 2/2 @1 0F>4C b0:1>0 b1:1>0=Show the clock/Idle screen "
          "b6:0>1=Big clock/Idle screen"}},
        {"same offset and bit in another record: the first line naming it wins",
         {{{0x32, 2}, {0x01}}},
         {{{0x32, 2}, {0x00}}},
         {"0032_0002 changed 1/1 @0 01>00 b0:1>0=Shutter sound/Camera"}},
        {"bytes in two places",
         {{{0x32, 1}, {0x10, 0x00, 0x00, 0x80}}},
         {{{0x32, 1}, {0x00, 0x00, 0x00, 0x00}}},
         {"0032_0001 changed 4/4 @0 10>00 b4:1>0 @3 80>00 b7:1>0"}},
        {"record grown",
         {{{0x32, 1}, {1, 2}}},
         {{{0x32, 1}, {1, 2, 3}}},
         {"0032_0001 changed 2/3 length"}},
        {"record shrunk with a changed byte",
         {{{0x32, 1}, {1, 2, 3}}},
         {{{0x32, 1}, {0, 2}}},
         {"0032_0001 changed 3/2 length @0 01>00 b0:1>0"}},
        {"record only in A",
         {{{0x32, 1}, {1}}, {{0x32, 2}, {1, 2}}},
         {{{0x32, 1}, {1}}},
         {"0032_0002 onlyA 2/0"}},
        {"record only in B",
         {{{0x32, 2}, {1}}},
         {{{0x10, 1}, {}}, {{0x32, 2}, {1}}},
         {"0010_0001 onlyB 0/0"}},
        {"records in order of seem and record",
         {{{0x33, 1}, {5}}, {{0x32, 9}, {1}}},
         {{{0x32, 9}, {0}}, {{0x34, 1}, {7}}},
         {"0032_0009 changed 1/1 @0 01>00 b0:1>0", "0033_0001 onlyA 1/0", "0034_0001 onlyB 0/1"}},
    };
    const SeemMeanings meanings(parseSeemCatalogue(kCatalogue).functions);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> got;
        for (const auto& d : diffSeemRecords(c.a, c.b, meanings)) got.push_back(render(d));
        EXPECT_EQ(got, c.diffs);
    }
}

TEST(SeemDiff, WithoutCatalogueNoBitIsNamed) {
    const auto diffs =
        diffSeemRecords({{{0x32, 1}, {0x00, 0x01}}}, {{{0x32, 1}, {0x00, 0x03}}}, SeemMeanings());
    ASSERT_EQ(diffs.size(), 1u);
    EXPECT_EQ(render(diffs[0]), "0032_0001 changed 2/2 @1 01>03 b1:0>1");
}

TEST(SeemDiff, HeadingIsTheNearestAbove) {
    const SeemMeanings meanings(parseSeemCatalogue("0032;0001;00;0;Before any heading\n"
                                                   "0032;0001;-;-;First\n"
                                                   "0032;0001;-1;-;Second\n"
                                                   "0032;0001;00;1;Under the second\n")
                                    .functions);
    EXPECT_EQ(meanings.headingOf(0), "");
    EXPECT_EQ(meanings.headingOf(3), "Second");
    EXPECT_EQ(meanings.headingOf(99), "");
    EXPECT_EQ(meanings.lineOf({0x32, 1, 0, 1}), 3u);
    EXPECT_FALSE(meanings.lineOf({0x32, 1, 0, 2}));
}

TEST(SeemDiff, Notation) {
    EXPECT_EQ(seemBitNotation({0x32, 1}, 0x0A, 3), "0032;0001;0A;3");
    EXPECT_EQ(seemBitNotation({0x2FE, 0xFE}, 0x1F3, 7), "02FE;00FE;1F3;7");
    EXPECT_EQ(seemRecordName({0x104, 0x0A}), "0104_000A");
}

}  // namespace
}  // namespace mdk::test
