// The USB I/O command tester: the request it sends, the lines it shows for a reply, and
// the payload it keeps.
#include "p2k/usb_tester.h"

#include <gtest/gtest.h>

#include <fstream>

#include "phone_fixture.h"

namespace mdk {
namespace {

using test::PhoneFixture;
using Bytes = std::vector<uint8_t>;

TEST(UsbTester, InitialRequestIsTheInterfaceNameAgainstTheSimulatedPhone) {
    PhoneFixture f;
    const Bytes input = testerInput(kTesterInitialCommand, f.context.usbTester);
    EXPECT_EQ(input, (Bytes{0x02, 0x01}));
    f.link->clear();
    const auto lines = runTesterRequest(f.context.driver, f.context.transport, f.context.log,
                                        kTesterInitialControlCode, input, false);
    ASSERT_TRUE(lines.has_value());
    const auto seen = f.link->seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].code, 0x80002010u);
    EXPECT_EQ(seen[0].input, (Bytes{0x02, 0x01}));
    // "Motorola Test Command": 21 characters, five words.
    EXPECT_EQ(lines->hex, "150000004D006F0074006F0072006F006C006100H");
    EXPECT_EQ(lines->text, std::optional<std::string>(" M o t o r o l a "));
    EXPECT_TRUE(f.log.has(lines->hex));
    EXPECT_TRUE(f.log.has(" M o t o r o l a "));
}

TEST(UsbTester, ReplyLines) {
    struct Case {
        const char* what;
        Bytes reply;
        bool payloadFlag;
        std::string hex;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {"payload flag: one word, no text line",
         {0xAA, 0x00, 0x01, 0x02, 0x41, 0x00},
         true,
         "AA000102H",
         std::nullopt},
        {"a count beyond the reply: only the words returned",
         {0xFF, 0x00, 0x00, 0x00, 0x41, 0x00, 0x42, 0x00},
         false,
         "FF00000041004200H",
         " A B"},
        {"the text line ends with the reply, not past it",
         {0x03, 0x00, 0x00, 0x00, 'A', 'B', 'C', 'D', 'E'},
         false,
         "03000000H",
         "ABCDE"},
        {"high byte first; a zero low byte becomes a blank",
         {0x07, 0x00, 0x00, 0x00, 0x00, 0x41, 0x42, 0x43},
         false,
         "0700000000414243H",
         "A CB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TesterLines lines = testerReplyLines(c.reply, c.payloadFlag);
        EXPECT_EQ(lines.hex, c.hex);
        EXPECT_EQ(lines.text, c.text);
    }
}

TEST(UsbTester, PayloadSendsItsBytesAndIsKeptApartFromTheReply) {
    PhoneFixture f;
    const std::string path = f.programFolder() + "/three.usbpayload";
    std::ofstream(path, std::ios::binary) << "abc";
    UsbTesterState& state = f.context.usbTester;
    ASSERT_TRUE(loadTesterPayload(path, state));
    EXPECT_EQ(state.payloadName, path);
    state.payloadFlag = true;
    f.link->clear();
    for (int send = 0; send < 2; ++send) {
        const Bytes input = testerInput(kTesterInitialCommand, state);
        const auto lines = runTesterRequest(f.context.driver, f.context.transport, f.context.log,
                                            kTesterInitialControlCode, input, true);
        ASSERT_TRUE(lines.has_value());
        EXPECT_EQ(lines->hex, "15000000H");
        EXPECT_FALSE(lines->text.has_value());
    }
    const auto seen = f.link->seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].input, (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(seen[1].input, (Bytes{'a', 'b', 'c'}));  // not the first reply
}

TEST(UsbTester, PayloadFilesAreCutAndUnreadableOnesChangeNothing) {
    PhoneFixture f;
    const std::string big = f.programFolder() + "/big.usbpayload";
    {
        std::ofstream out(big, std::ios::binary);
        for (int i = 0; i < 12000; ++i) out.put(static_cast<char>(i & 0xFF));
    }
    UsbTesterState& state = f.context.usbTester;
    ASSERT_TRUE(loadTesterPayload(big, state));
    ASSERT_EQ(state.payload.size(), 10000u);
    EXPECT_EQ(state.payload[9999], 9999 & 0xFF);
    EXPECT_FALSE(loadTesterPayload(f.programFolder() + "/missing.usbpayload", state));
    EXPECT_EQ(state.payload.size(), 10000u);
    EXPECT_EQ(state.payloadName, big);
}

TEST(UsbTester, FailedRequestShowsNoLine) {
    PhoneFixture f;
    f.context.driver.clearLink();
    const Bytes input = testerInput(kTesterInitialCommand, f.context.usbTester);
    const size_t before = f.log.lines().size();
    EXPECT_FALSE(runTesterRequest(f.context.driver, f.context.transport, f.context.log,
                                  kTesterInitialControlCode, input, false)
                     .has_value());
    // Only the driver's own reason.
    EXPECT_EQ(f.log.lines().size(), before + 1);
}

}  // namespace
}  // namespace mdk
