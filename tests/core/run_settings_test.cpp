#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "config/config_record.h"
#include "config/run_settings.h"

namespace mdk {
namespace {

ConfigRecord loadedRecord() {
    ConfigRecord record;
    record.connectionMode = 3;
    record.forceP2k05 = 1;
    record.useFilter = 0;
    record.searchPattern = "/c/*.mp3";
    record.favouriteFolder = "/home/user";
    return record;
}

TEST(RunSettings, StartsFromTheRecordAndGivesBackAnUnchangedImage) {
    const ConfigRecord loaded = loadedRecord();
    RunSettings run;
    run.takeFrom(loaded);
    EXPECT_EQ(run.mode(), ConnectionMode::P2k05OverUsblan);
    EXPECT_TRUE(run.usblanP2k05());
    EXPECT_EQ(run.forceP2k05(), 1);
    EXPECT_EQ(run.searchPattern(), "/c/*.mp3");
    EXPECT_EQ(run.optionTexts().comPort, loaded.comPort);
    EXPECT_EQ(run.optionTexts().usblanSwitchCommand, "at+mode=13");

    ConfigRecord saved = loaded;
    run.writeInto(saved);
    EXPECT_EQ(saved.serialize(), loaded.serialize());
}

TEST(RunSettings, DefaultsAreTheRecordDefaults) {
    const RunSettings run;
    const ConfigRecord defaults;
    EXPECT_EQ(run.connectionMode(), defaults.connectionMode);
    EXPECT_EQ(run.forceP2k05(), defaults.forceP2k05);
    EXPECT_EQ(run.useFilter(), defaults.useFilter);
    EXPECT_EQ(run.searchPattern(), defaults.searchPattern);
    EXPECT_EQ(run.fileCountLimit(), defaults.fileCountLimit);
}

TEST(RunSettings, RunChangesReachTheSavedRecordAndOptionChangesSurvive) {
    RunSettings run;
    run.takeFrom(loadedRecord());
    run.setPatternVolume('b');
    run.setUseFilter(1);

    // The options changed the mode and the P2k05 flag in the record meanwhile.
    ConfigRecord record = loadedRecord();
    record.connectionMode = 0;
    record.forceP2k05 = 0;
    run.writeInto(record);
    EXPECT_EQ(record.searchPattern, "/b/*.mp3");
    EXPECT_EQ(record.useFilter, 1);
    EXPECT_EQ(record.connectionMode, 0) << "not changed at run time: the options' value";
    EXPECT_EQ(record.forceP2k05, 0);
}

TEST(RunSettings, PatternVolumeAndFilterSwitch) {
    struct Case {
        const char* pattern;
        char letter;
        const char* expected;
    };
    const Case cases[] = {
        {"/a/*.*", 'c', "/c/*.*"},
        {"", 'b', "/b/*.*"},
        {"x", 'a', "/a/*.*"},
        {"/ezxlocal/*", 'd', "/dzxlocal/*"},
    };
    for (const Case& c : cases) {
        RunSettings run;
        run.setSearchPattern(c.pattern);
        run.setPatternVolume(c.letter);
        EXPECT_EQ(run.searchPattern(), c.expected) << c.pattern;
    }

    RunSettings run;
    EXPECT_EQ(run.enableFilter("/a/*"), "/a/*");
    EXPECT_EQ(run.useFilter(), 1);
    run.setSearchPattern("/b/*.jpg");
    EXPECT_EQ(run.enableFilter("/a/*"), "/b/*.jpg") << "a filter already on is kept";
}

TEST(RunSettings, FileCountLimitRisesOnlyWhenSet) {
    RunSettings run;
    run.raiseFileCountLimit();
    EXPECT_EQ(run.fileCountLimit(), -1);
    run.setFileCountLimit(10);
    run.raiseFileCountLimit();
    EXPECT_EQ(run.fileCountLimit(), 11);
}

// The watcher, the GUI thread and a worker change and read the settings at once: no
// change is lost and no reader sees a pattern that was never written.
TEST(RunSettings, ThreadsChangingAndReadingAtOnce) {
    RunSettings run;
    run.setFileCountLimit(0);
    constexpr int kRounds = 20000;
    const std::string patterns[] = {"/a/*.*", "/ezxlocal/download/mystuff/*"};
    bool tornPattern = false;

    std::thread raiser([&] {
        for (int i = 0; i < kRounds; ++i) run.raiseFileCountLimit();
    });
    std::thread writer([&] {
        for (int i = 0; i < kRounds; ++i) {
            run.setSearchPattern(patterns[i % 2]);
            run.raiseFileCountLimit();
        }
    });
    std::thread reader([&] {
        for (int i = 0; i < kRounds; ++i) {
            const std::string seen = run.searchPattern();
            if (seen != patterns[0] && seen != patterns[1] && seen != "/a/*.*") tornPattern = true;
        }
    });
    raiser.join();
    writer.join();
    reader.join();
    EXPECT_EQ(run.fileCountLimit(), 2 * kRounds);
    EXPECT_FALSE(tornPattern);
}

// The options take new texts (takeFrom) while the link watcher reads them: every read
// gives the four texts of one record, whole.
TEST(RunSettings, OptionTextsAreReadWholeWhileTheOptionsChangeThem) {
    ConfigRecord records[2];
    records[0].comPort = "COM4";
    records[0].fourthSlotVolume = "/e";
    records[0].usblanSwitchCommand = "at+mode=13";
    records[0].usblanIp = "192.168.16.2";
    records[1].comPort = "/dev/ttyACM0";
    records[1].fourthSlotVolume = "/c";
    records[1].usblanSwitchCommand = std::string(200, 'a');
    records[1].usblanIp = "10.0.0.20";
    RunSettings run;
    run.takeFrom(records[0]);
    constexpr int kRounds = 20000;
    bool mixed = false;
    std::thread options([&] {
        for (int i = 0; i < kRounds; ++i) run.takeFrom(records[i % 2]);
    });
    std::thread watcher([&] {
        for (int i = 0; i < kRounds; ++i) {
            const RunSettings::OptionTexts texts = run.optionTexts();
            bool whole = false;
            for (const ConfigRecord& r : records) {
                whole = whole || (texts.comPort == r.comPort &&
                                  texts.fourthSlotVolume == r.fourthSlotVolume &&
                                  texts.usblanSwitchCommand == r.usblanSwitchCommand &&
                                  texts.usblanIp == r.usblanIp);
            }
            mixed = mixed || !whole;
        }
    });
    options.join();
    watcher.join();
    EXPECT_FALSE(mixed);
    EXPECT_EQ(run.optionTexts().comPort, records[(kRounds - 1) % 2].comPort);
}

}  // namespace
}  // namespace mdk
