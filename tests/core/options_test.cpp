// The options dialog's logic: the slider, what OK takes from the edits, and the steps OK
// runs on the program (companion, restart, new attach, mode 3's first location).
#include <gtest/gtest.h>

#include "app/options.h"
#include "device_test_support.h"
#include "phone_fixture.h"
#include "platform/companion.h"

namespace mdk::test {
namespace {

using namespace options;

class RecordingCompanion final : public CompanionControl {
public:
    void enableAutostart(const std::string& folder) override { calls.push_back("on " + folder); }
    void disableAutostart() override { calls.push_back("off"); }
    std::vector<std::string> calls;
};

Choice choiceFrom(const ConfigRecord& config) {
    return {editsFrom(config), config.connectionMode, config.fileCountLimit};
}

TEST(OptionsSlider, HighestPositionMeansNoLimitAndShowsMessage81) {
    EXPECT_EQ(sliderPosition(-1), kSliderMax);
    EXPECT_EQ(sliderPosition(100), 100);
    EXPECT_EQ(sliderPosition(3), kSliderMax);  // a limit the slider cannot show
    const SliderReading top = readSlider(kSliderMax, "no limit");
    EXPECT_EQ(top.label, "no limit");
    EXPECT_EQ(top.limit, -1);
    const SliderReading low = readSlider(kSliderMin, "no limit");
    EXPECT_EQ(low.label, "10");
    EXPECT_EQ(low.limit, 10);
    EXPECT_EQ(kSliderMin, 10);
}

TEST(OptionsTables, TuningIdsRunCrosswiseAndModesInOrder) {
    std::map<int, int32_t> tuning;
    for (const Radio& radio : commandSetRadios()) tuning[radio.id] = radio.value;
    EXPECT_EQ(tuning, (std::map<int, int32_t>{{1511, 0}, {1512, 3}, {1513, 1}}));
    std::map<int, int32_t> modes;
    for (const Radio& radio : modeRadios()) modes[radio.id] = radio.value;
    EXPECT_EQ(modes, (std::map<int, int32_t>{{1502, 0}, {1504, 1}, {1516, 2}, {1521, 3}}));
    ASSERT_NE(checkBox(1560), nullptr);
    EXPECT_TRUE(checkBox(1560)->inverted);
    EXPECT_EQ(checkBox(1560)->flag, &ConfigRecord::noviceAlerts);
    EXPECT_EQ(checkBox(1566)->flag, &ConfigRecord::useFixedInterfaceIndex);
}

TEST(OptionsTake, EditsFillFromTheRecord) {
    ConfigRecord config;
    config.searchPattern = "/b/*.mp3";
    config.interfaceIndex = 12;
    const Edits edits = editsFrom(config);
    EXPECT_EQ(edits.filter, "/*.mp3");
    EXPECT_EQ(edits.interfaceIndex, "12");
    EXPECT_EQ(edits.usblanSwitchCommand, "at+mode=13");
}

TEST(OptionsTake, FilterIsTakenOnlyWithItsBoxAndKeepsTheVolumePart) {
    ConfigRecord config;
    config.searchPattern = "/c/*.jpg";
    Choice choice = choiceFrom(config);
    choice.edits.filter = "/*.gif";
    takeChoice(config, choice, 0);
    EXPECT_EQ(config.searchPattern, "/c/*.*");  // box unticked: the filter is reset
    config.useFilter = 1;
    takeChoice(config, choice, 0);
    EXPECT_EQ(config.searchPattern, "/c/*.gif");
    choice.edits.filter = std::string(300, 'x');
    takeChoice(config, choice, 0);
    EXPECT_EQ(config.searchPattern, "/c" + std::string(254, 'x'));
}

TEST(OptionsTake, ShortFieldsAreCutTo19AndOnlyTakenWithTheirBoxes) {
    struct Case {
        bool ticked;
        std::string typed;
        std::string stored;
    };
    const Case cases[] = {
        {true, std::string(30, 'C'), std::string(19, 'C')},
        {true, "COM9", "COM9"},
        {false, "COM9", "old"},
        // A cut never splits a two-byte character.
        {true, std::string(18, 'C') + "\xC3\xA9", std::string(18, 'C')},
    };
    for (const Case& c : cases) {
        ConfigRecord config;
        config.comPort = "old";
        config.fourthSlotVolume = "old";
        config.useFixedComPort = c.ticked;
        config.useFourthSlot = c.ticked;
        Choice choice = choiceFrom(config);
        choice.edits.comPort = c.typed;
        choice.edits.fourthSlotVolume = c.typed;
        takeChoice(config, choice, 0);
        EXPECT_EQ(config.comPort, c.stored) << c.typed;
        EXPECT_EQ(config.fourthSlotVolume, c.stored) << c.typed;
    }
}

TEST(OptionsTake, InterfaceIndexOnlyWithItsBoxAndOnlyANumber) {
    struct Case {
        bool ticked;
        std::string typed;
        int32_t stored;
        bool refused;
    };
    const Case cases[] = {
        {true, "12", 12, false},       {false, "12", 8, false}, {true, " 3 ", 3, false},
        {true, "x1", 8, true},         {true, "", 8, true},     {true, "65536", 8, true},
        {true, "65535", 65535, false},
    };
    for (const Case& c : cases) {
        ConfigRecord config;
        config.useFixedInterfaceIndex = c.ticked;
        Choice choice = choiceFrom(config);
        choice.edits.interfaceIndex = c.typed;
        const Taken taken = takeChoice(config, choice, 0);
        EXPECT_EQ(config.interfaceIndex, c.stored) << c.typed;
        EXPECT_EQ(taken.interfaceIndexRefused, c.refused) << c.typed;
    }
}

TEST(OptionsTake, LongTextsAreCutTo254AndTheModeIsTakenAtOk) {
    ConfigRecord config;
    Choice choice = choiceFrom(config);
    choice.edits.usblanSwitchCommand = std::string(300, 'a');
    choice.edits.usblanIp = "192.168.16.2";
    choice.mode = 3;
    choice.fileCountLimit = 100;
    EXPECT_TRUE(takeChoice(config, choice, 0).modeChanged);
    EXPECT_EQ(config.usblanSwitchCommand, std::string(254, 'a'));
    EXPECT_EQ(config.usblanIp, "192.168.16.2");
    EXPECT_EQ(config.connectionMode, 3);
    EXPECT_EQ(config.fileCountLimit, 100);
    EXPECT_FALSE(takeChoice(config, choice, 3).modeChanged);
}

TEST(OptionsTake, FirstLocationTextBlanksTheVolumePart) {
    EXPECT_EQ(firstLocationText("/a/*"), "  /*");
    EXPECT_EQ(firstLocationText("/"), "  ");
}

// OK on a program context with a simulated phone.
struct OptionsOk : ::testing::Test {
    PhoneFixture phone;
    RecordingView view;
    RecordingControl control;
    RecordingCompanion companion;
    OptionsApplier applier{phone.context, control, view, &companion};
    ConfigRecord& config = phone.context.config;

    void ok(int32_t mode, int32_t modeAtOpening) {
        Choice choice = choiceFrom(config);
        choice.mode = mode;
        applier.apply(choice, modeAtOpening);
    }
};

TEST_F(OptionsOk, AModeChangeAsksAndRestartsTheSameModeDoesNot) {
    ok(0, 0);
    EXPECT_EQ(control.restarts, 0);
    EXPECT_TRUE(phone.prompter.shown().empty());
    ok(3, 0);
    EXPECT_EQ(control.restarts, 1);
    ASSERT_EQ(phone.prompter.shown().size(), 1u);
    EXPECT_EQ(phone.prompter.shown()[0].title, "Warning !");
    EXPECT_EQ(phone.prompter.shown()[0].text, "Mode changed, application will restart now.");
    EXPECT_EQ(config.connectionMode, 3);
}

TEST_F(OptionsOk, CompanionIsSetUpOrStoppedAtEveryOk) {
    ok(0, 0);
    config.useTidewatch = 1;
    ok(0, 0);
    EXPECT_EQ(companion.calls, (std::vector<std::string>{"off", "on " + phone.programFolder()}));
}

TEST_F(OptionsOk, ModeZeroWithALinkRunsTheSessionSequenceAndAttachesAgain) {
    phone.link->clear();
    ok(0, 0);
    EXPECT_FALSE(phone.link->commands().empty());
}

TEST_F(OptionsOk, NoPhoneTrafficWithoutALinkOrInAnotherMode) {
    phone.link->clear();
    ok(3, 3);
    EXPECT_TRUE(phone.link->commands().empty());
    phone.context.driver.setLink(nullptr);
    ok(0, 0);
    EXPECT_TRUE(phone.link->commands().empty());
}

TEST_F(OptionsOk, ModeThreeTurnsTheFilterOnAndRefreshesTheFirstLocation) {
    ok(3, 3);
    EXPECT_EQ(config.useFilter, 1);
    EXPECT_EQ(config.searchPattern, "/a/*");
    EXPECT_EQ(view.calls(), (std::vector<std::string>{"first   /*"}));
}

TEST_F(OptionsOk, TheFixedInterfaceIndexReachesTheTransport) {
    config.useFixedInterfaceIndex = 1;
    phone.context.driver.setLink(nullptr);
    Choice choice = choiceFrom(config);
    choice.edits.interfaceIndex = "12";
    applier.apply(choice, 0);
    EXPECT_EQ(phone.context.transport.usbInterfaceIndex(), 12);
    choice.edits.interfaceIndex = "twelve";
    applier.apply(choice, 0);
    EXPECT_EQ(phone.context.transport.usbInterfaceIndex(), 12);
    EXPECT_TRUE(phone.log.has("Not a USB interface index: twelve (kept 12)"));
}

}  // namespace
}  // namespace mdk::test
