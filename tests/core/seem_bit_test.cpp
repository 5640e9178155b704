// Single seem bits: the field rules, the byte change, and the read-change-write on the
// simulated phone (only offset + 1 bytes travel; nothing beyond the record is touched).
#include "seem/seem_bit.h"

#include <gtest/gtest.h>

#include <vector>

#include "p2k_test_support.h"

namespace mdk::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct FieldCase {
    const char* name;
    const char* seem;
    const char* record;
    const char* offset;
    const char* bit;
    std::optional<SeemBitAddress> expected;
    SeemBitStatus failure;
};

TEST(SeemBitFields, ParseOrSayWhichFieldIsWrong) {
    using S = SeemBitStatus;
    const FieldCase cases[] = {
        {"plain", "0032", "0001", "0A", "3", SeemBitAddress{0x32, 1, 10, 3}, S::Ok},
        {"lower case", "02fe", "00fe", "ff", "7", SeemBitAddress{0x2FE, 0xFE, 0xFF, 7}, S::Ok},
        {"0x prefix", "0x32", "0001", "0A", "3", std::nullopt, S::BadField},
        {"empty record", "0032", "", "0A", "3", std::nullopt, S::BadField},
        {"five digits", "00032", "0001", "0A", "3", std::nullopt, S::BadField},
        {"letter in offset", "0032", "0001", "0G", "3", std::nullopt, S::BadField},
        {"blank bit", "0032", "0001", "0A", " ", std::nullopt, S::BadField},
        {"bit 8", "0032", "0001", "0A", "8", std::nullopt, S::BitOutOfRange},
        {"bit 0x10", "0032", "0001", "0A", "10", std::nullopt, S::BitOutOfRange},
        {"offset 9999", "0032", "0001", "270F", "0", SeemBitAddress{0x32, 1, 9999, 0}, S::Ok},
        {"offset 10000", "0032", "0001", "2710", "0", std::nullopt, S::OffsetOutOfRange},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SeemBitResult failure;
        auto address = parseSeemBitFields(c.seem, c.record, c.offset, c.bit, failure);
        EXPECT_EQ(address, c.expected);
        EXPECT_EQ(failure.status, c.failure);
        EXPECT_EQ(failure.detail.empty(), c.failure == S::Ok) << failure.detail;
    }
}

TEST(SeemBitFields, ArgumentFormReadsFixedPlaces) {
    SeemBitResult failure;
    EXPECT_EQ(parseSeemBitArgument("0032 0001 000A 3", failure), (SeemBitAddress{0x32, 1, 10, 3}));
    // The separators are not read.
    EXPECT_EQ(parseSeemBitArgument("0032_0001-000A.7", failure), (SeemBitAddress{0x32, 1, 10, 7}));
    EXPECT_FALSE(parseSeemBitArgument("0032 0001 000A ", failure));
    EXPECT_EQ(failure.status, SeemBitStatus::BadField);
    EXPECT_FALSE(parseSeemBitArgument("0032 0001 000A 9", failure));
    EXPECT_EQ(failure.status, SeemBitStatus::BitOutOfRange);
}

TEST(SeemBitByte, MasksAndActions) {
    for (uint8_t bit = 0; bit <= 7; ++bit) {
        SCOPED_TRACE(int(bit));
        const uint8_t mask = uint8_t(1u << bit);
        EXPECT_EQ(kSeemBitMasks[bit], mask);
        EXPECT_EQ(applySeemBit(0x00, bit, SeemBitAction::Set), mask);
        EXPECT_EQ(applySeemBit(0xFF, bit, SeemBitAction::Clear), uint8_t(~mask));
        EXPECT_EQ(applySeemBit(0x5A, bit, SeemBitAction::Toggle), uint8_t(0x5A ^ mask));
        EXPECT_EQ(applySeemBit(0x5A, bit, SeemBitAction::Get), 0x5A);
        EXPECT_EQ(applySeemBit(mask, bit, SeemBitAction::Set), mask) << "set stays set";
    }
}

TEST(SeemBitByte, TestStaysInsideTheData) {
    const Bytes data = {0x00, 0x08};
    EXPECT_EQ(seemBitIn(data, 1, 3), 1);
    EXPECT_EQ(seemBitIn(data, 1, 2), 0);
    EXPECT_EQ(seemBitIn(data, 2, 0), std::nullopt) << "offset at the end";
    EXPECT_EQ(seemBitIn(data, 0, 8), std::nullopt) << "bit above 7";
    EXPECT_EQ(seemBitIn({}, 0, 0), std::nullopt);
}

// A record of 16 bytes 0x10..0x1F at seem 0x32 record 1 on the simulated phone.
class SeemBitOnPhone : public testing::Test {
protected:
    void SetUp() override {
        for (uint8_t i = 0; i < 16; ++i) original.push_back(uint8_t(0x10 + i));
        f.model.setSeem(0x32, 1, original);
        f.link->clear();
    }
    SeemBitResult change(SeemBitAddress a, SeemBitAction action) {
        return changeSeemBit(f.context.commands, a, action);
    }
    std::vector<SeenCommand> sent(uint16_t command) const {
        std::vector<SeenCommand> out;
        for (const auto& c : f.link->commands()) {
            if (c.command == command) out.push_back(c);
        }
        return out;
    }

    PhoneFixture f;
    Bytes original;
};

TEST_F(SeemBitOnPhone, SetClearToggleChangeOnlyThatBit) {
    struct Case {
        SeemBitAction action;
        uint8_t byteBefore;
        uint8_t byteAfter;
        int value;
    };
    // Byte 10 is 0x1A: bit 3 (0x08) is set.
    const Case cases[] = {
        {SeemBitAction::Clear, 0x1A, 0x12, 0},  {SeemBitAction::Clear, 0x12, 0x12, 0},
        {SeemBitAction::Set, 0x12, 0x1A, 1},    {SeemBitAction::Toggle, 0x1A, 0x12, 0},
        {SeemBitAction::Toggle, 0x12, 0x1A, 1},
    };
    for (const auto& c : cases) {
        auto result = change({0x32, 1, 10, 3}, c.action);
        ASSERT_TRUE(result.ok()) << result.detail;
        EXPECT_EQ(result.before, c.byteBefore);
        EXPECT_EQ(result.after, c.byteAfter);
        EXPECT_EQ(result.value, c.value);
        Bytes expected = original;
        expected[10] = c.byteAfter;
        EXPECT_EQ(f.model.seem(0x32, 1), expected);
    }
}

TEST_F(SeemBitOnPhone, ReadsAndWritesOffsetPlusOneBytes) {
    ASSERT_TRUE(change({0x32, 1, 10, 3}, SeemBitAction::Clear).ok());
    auto reads = sent(CommandSet::kReadSeem);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].payload, (Bytes{0x00, 0x32, 0x00, 0x01, 0, 0, 0, 11}));
    auto writes = sent(CommandSet::kWriteSeem);
    ASSERT_EQ(writes.size(), 1u);
    Bytes written(original.begin(), original.begin() + 11);
    written[10] = 0x12;
    Bytes payload = {0x00, 0x32, 0x00, 0x01, 0, 0, 0, 11};
    payload.insert(payload.end(), written.begin(), written.end());
    EXPECT_EQ(writes[0].payload, payload);
}

TEST_F(SeemBitOnPhone, GetReadsWithoutWriting) {
    auto result = change({0x32, 1, 15, 0}, SeemBitAction::Get);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value, 1) << "byte 15 is 0x1F";
    EXPECT_EQ(change({0x32, 1, 15, 5}, SeemBitAction::Get).value, 0);
    EXPECT_TRUE(sent(CommandSet::kWriteSeem).empty());
}

TEST_F(SeemBitOnPhone, RefusalsWriteNothing) {
    struct Case {
        const char* name;
        SeemBitAddress address;
        SeemBitStatus status;
    };
    const Case cases[] = {
        {"offset at the record's end", {0x32, 1, 16, 0}, SeemBitStatus::OffsetBeyondRecord},
        {"offset far beyond", {0x32, 1, 200, 0}, SeemBitStatus::OffsetBeyondRecord},
        {"no such record", {0x32, 9, 0, 0}, SeemBitStatus::ReadFailed},
        {"bit 8", {0x32, 1, 0, 8}, SeemBitStatus::BitOutOfRange},
        {"offset 10000", {0x32, 1, 10000, 0}, SeemBitStatus::OffsetOutOfRange},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto result = change(c.address, SeemBitAction::Toggle);
        EXPECT_EQ(result.status, c.status);
        EXPECT_NE(result.detail.find(std::string(seemBitStatusText(c.status))), std::string::npos)
            << result.detail;
    }
    EXPECT_TRUE(sent(CommandSet::kWriteSeem).empty());
    EXPECT_EQ(f.model.seem(0x32, 1), original);
    EXPECT_FALSE(f.model.hasSeem(0x32, 9));
}

TEST(SeemBitWrite, RefusedWriteIsReported) {
    ScriptedFixture s;
    s.phone.queue(kReplyData, {0x00, 0x01, 0x02});  // the read: two bytes
    s.phone.queue(kReplyData, {0x01});              // the write: refused
    auto result = changeSeemBit(s.f.context.commands, {0x32, 1, 1, 0}, SeemBitAction::Set);
    EXPECT_EQ(result.status, SeemBitStatus::WriteFailed);
    ASSERT_EQ(s.phone.commands.size(), 2u);
    EXPECT_EQ(s.phone.commands[1].payload, (Bytes{0x00, 0x32, 0x00, 0x01, 0, 0, 0, 2, 0x01, 0x03}));
}

}  // namespace
}  // namespace mdk::test
