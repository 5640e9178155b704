#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "config/config_record.h"
#include "config/run_settings.h"

namespace mdk {

// Failures name the fields.
void PrintTo(const RunValues& v, std::ostream* os) {
    *os << "{mode " << v.connectionMode << ", P2k05 " << v.forceP2k05 << ", filter " << v.useFilter
        << ", pattern \"" << v.searchPattern << "\", limit " << v.fileCountLimit << "}";
}

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
    const RunValues values = run.read();
    EXPECT_EQ(values.mode(), ConnectionMode::P2k05OverUsblan);
    EXPECT_TRUE(values.usblanP2k05());
    EXPECT_EQ(values.forceP2k05, 1);
    EXPECT_EQ(values.searchPattern, "/c/*.mp3");
    EXPECT_EQ(run.optionTexts().comPort, loaded.comPort);
    EXPECT_EQ(run.optionTexts().usblanSwitchCommand, "at+mode=13");

    ConfigRecord saved = loaded;
    run.writeInto(saved);
    EXPECT_EQ(saved.serialize(), loaded.serialize());
}

TEST(RunSettings, DefaultsAreTheRecordDefaults) {
    const RunSettings run;
    const ConfigRecord defaults;
    const RunValues values = run.read();
    EXPECT_EQ(values.connectionMode, defaults.connectionMode);
    EXPECT_EQ(values.forceP2k05, defaults.forceP2k05);
    EXPECT_EQ(values.useFilter, defaults.useFilter);
    EXPECT_EQ(values.searchPattern, defaults.searchPattern);
    EXPECT_EQ(values.fileCountLimit, defaults.fileCountLimit);
}

TEST(RunSettings, RunChangesReachTheSavedRecordAndOptionChangesSurvive) {
    RunSettings run;
    run.takeFrom(loadedRecord());
    run.change(PutPatternVolume{'b'});
    run.change([](RunValues& values) { values.useFilter = 1; });

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
        run.change([&](RunValues& values) { values.searchPattern = c.pattern; });
        run.change(PutPatternVolume{c.letter});
        EXPECT_EQ(run.read().searchPattern, c.expected) << c.pattern;
    }

    RunSettings run;
    EXPECT_EQ(run.change(SwitchFilterOn{"/a/*"}), "/a/*");
    EXPECT_EQ(run.read().useFilter, 1);
    run.change([](RunValues& values) { values.searchPattern = "/b/*.jpg"; });
    EXPECT_EQ(run.change(SwitchFilterOn{"/a/*"}), "/b/*.jpg") << "a filter already on is kept";
}

TEST(RunSettings, FileCountLimitRisesOnlyWhenSet) {
    RunSettings run;
    run.change(AllowOneMoreFile{});
    EXPECT_EQ(run.read().fileCountLimit, -1);
    run.change([](RunValues& values) { values.fileCountLimit = 10; });
    run.change(AllowOneMoreFile{});
    EXPECT_EQ(run.read().fileCountLimit, 11);
}

// The watcher, the GUI thread and a worker change and read the settings at once: no
// change is lost, no reader sees a pattern that was never written, every snapshot holds
// the fields of one moment, and a compound edit reads and writes in one step.
TEST(RunSettings, ThreadsChangingAndReadingAtOnce) {
    RunSettings run;
    run.change([](RunValues& values) { values.fileCountLimit = 0; });
    constexpr int kRounds = 20000;
    const std::string patterns[] = {"/a/*.*", "/ezxlocal/download/mystuff/*"};
    bool tornPattern = false;
    bool mixedSnapshot = false;
    bool switchSawAnotherPattern = false;

    std::thread raiser([&] {
        for (int i = 0; i < kRounds; ++i) run.change(AllowOneMoreFile{});
    });
    // The filter off always comes with the plain pattern, on with the long one.
    std::thread writer([&] {
        for (int i = 0; i < kRounds; ++i) {
            run.change([&](RunValues& values) {
                values.useFilter = 0;
                values.searchPattern = patterns[0];
            });
            run.change(AllowOneMoreFile{});
        }
    });
    std::thread switcher([&] {
        for (int i = 0; i < kRounds; ++i) {
            const std::string inForce = run.change(SwitchFilterOn{patterns[1]});
            switchSawAnotherPattern = switchSawAnotherPattern || inForce != patterns[1];
        }
    });
    std::thread reader([&] {
        for (int i = 0; i < kRounds; ++i) {
            const RunValues seen = run.read();
            if (seen.searchPattern != patterns[0] && seen.searchPattern != patterns[1]) {
                tornPattern = true;
            }
            mixedSnapshot = mixedSnapshot || seen.searchPattern != patterns[seen.useFilter];
        }
    });
    raiser.join();
    writer.join();
    switcher.join();
    reader.join();
    EXPECT_EQ(run.read().fileCountLimit, 2 * kRounds);
    EXPECT_FALSE(tornPattern);
    EXPECT_FALSE(mixedSnapshot);
    EXPECT_FALSE(switchSawAnotherPattern);
}

// What writeInto gives back after a series of edits, when the options changed every
// field of the record meanwhile: only fields an edit left different count as changed at
// run time; those go back into the record, the others keep the options' value.
TEST(RunSettings, OnlyFieldsAnEditLeftDifferentReachTheRecord) {
    using Edit = std::function<void(RunValues&)>;
    struct Case {
        const char* name;
        std::vector<Edit> edits;
        Edit expected;  // applied to the options' values: what is saved
    };
    const auto filterOff = [](RunValues& v) { v.useFilter = 0; };
    const auto patternOf = [](std::string pattern) {
        return [pattern](RunValues& v) { v.searchPattern = pattern; };
    };
    const auto same = [](RunValues&) {};
    const Case cases[] = {
        {"an attach switching off a filter that is off", {filterOff}, same},
        {"P2k05 set to what it is", {[](RunValues& v) { v.forceP2k05 = 1; }}, same},
        {"no limit to raise", {AllowOneMoreFile{}}, same},
        {"the volume the pattern has", {PutPatternVolume{'c'}}, same},
        {"a pattern changed and put back in one edit",
         {[](RunValues& v) {
             v.searchPattern = "/a/*";
             v.searchPattern = "/c/*.mp3";
         }},
         same},
        {"a pattern changed, then put back by a later edit",
         {patternOf("/a/*"), patternOf("/c/*.mp3")},
         patternOf("/c/*.mp3")},
        {"another volume", {PutPatternVolume{'a'}}, patternOf("/a/*.mp3")},
        {"the mode switched",
         {[](RunValues& v) { v.connectionMode = 1; }},
         [](RunValues& v) { v.connectionMode = 1; }},
        {"a limit lowered for a package",
         {[](RunValues& v) { v.fileCountLimit = 5; }},
         [](RunValues& v) { v.fileCountLimit = 5; }},
    };
    ConfigRecord options = loadedRecord();
    options.connectionMode = 0;
    options.forceP2k05 = 0;
    options.useFilter = 1;
    options.searchPattern = "/b/*.*";
    options.fileCountLimit = 100;
    const auto valuesOf = [](const ConfigRecord& r) {
        return RunValues{r.connectionMode, r.forceP2k05, r.useFilter, r.searchPattern,
                         r.fileCountLimit};
    };
    for (const Case& c : cases) {
        RunSettings run;
        run.takeFrom(loadedRecord());
        for (const Edit& edit : c.edits) run.change(edit);
        ConfigRecord saved = options;
        run.writeInto(saved);
        RunValues expected = valuesOf(options);
        c.expected(expected);
        EXPECT_EQ(valuesOf(saved), expected) << c.name;
        EXPECT_EQ(saved.favouriteFolder, options.favouriteFolder) << c.name;
    }
}

TEST(RunSettings, AnEditThatThrowsChangesNothing) {
    RunSettings run;
    run.takeFrom(loadedRecord());
    const RunValues before = run.read();
    EXPECT_THROW(run.change([](RunValues& values) {
        values.searchPattern = "/a/*";
        values.useFilter = 1;
        throw std::runtime_error("edit failed");
    }),
                 std::runtime_error);
    EXPECT_EQ(run.read(), before);
    ConfigRecord options = loadedRecord();
    options.searchPattern = "/b/*.*";
    ConfigRecord saved = options;
    run.writeInto(saved);
    EXPECT_EQ(saved.serialize(), options.serialize()) << "nothing counts as changed";
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
