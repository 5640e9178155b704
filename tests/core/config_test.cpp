#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "base/app_control.h"
#include "base/bytes.h"
#include "base/prompter.h"
#include "case_names.h"
#include "config/config_file.h"
#include "config/config_record.h"
#include "platform/safe_file.h"

namespace mdk {
namespace {

using test::caseName;

namespace fs = std::filesystem;

// The record's layout as the file format fixes it, written out independently of the
// field list in config_record.h.
struct FieldSpan {
    const char* name;
    size_t offset;
    size_t width;
};
const FieldSpan kLayout[] = {
    {"fileCountLimit", 0, 4},
    {"fadeIn", 4, 4},
    {"commandSet", 8, 4},
    {"windowLeft", 12, 4},
    {"windowRight", 16, 4},
    {"windowTop", 20, 4},
    {"windowBottom", 24, 4},
    {"reserved", 28, 16},
    {"noviceAlerts", 44, 4},
    {"checkRelease", 48, 4},
    {"useTidewatch", 52, 4},
    {"useFilter", 56, 4},
    {"searchPattern", 60, 262},
    {"leftSource", 322, 4},
    {"rightSource", 326, 4},
    {"useFixedComPort", 330, 4},
    {"comPort", 334, 20},
    {"leftPath", 354, 255},
    {"rightPath", 609, 255},
    {"forceP2k05", 864, 4},
    {"logPackets", 868, 4},
    {"useFixedInterfaceIndex", 872, 4},
    {"interfaceIndex", 876, 4},
    {"overrideTargetPath", 880, 4},
    {"useFourthSlot", 884, 4},
    {"fourthSlotVolume", 888, 20},
    {"favouriteFolder", 908, 255},
    {"connectionMode", 1163, 4},
    {"usblanSwitchCommand", 1167, 255},
    {"usblanIp", 1422, 255},
    {"useGivenIp", 1677, 4},
};

TEST(ConfigLayout, ExpectedFieldsTileTheRecord) {
    size_t next = 0;
    for (const FieldSpan& field : kLayout) {
        EXPECT_EQ(field.offset, next) << field.name;
        next = field.offset + field.width;
    }
    EXPECT_EQ(next, ConfigRecord::kSize);
}

// Gives every field a value that fills its whole width with its own marker byte (texts
// keep their terminator), then checks that each field's bytes carry its marker: a field at
// the wrong offset, of the wrong width or overlapping another shows up as a wrong byte.
TEST(ConfigLayout, SerializedFieldsSitAtTheirOffsets) {
    ConfigRecord record;
    std::vector<uint8_t> expected(ConfigRecord::kSize, 0);
    uint8_t marker = 0x21;
    auto mark = [&](const char* name, size_t width, auto setField) {
        const FieldSpan* span =
            std::find_if(std::begin(kLayout), std::end(kLayout),
                         [&](const FieldSpan& f) { return std::strcmp(f.name, name) == 0; });
        ASSERT_NE(span, std::end(kLayout)) << name;
        ASSERT_EQ(span->width, width) << name;
        setField(marker);
        std::fill_n(expected.begin() + span->offset, width, marker);
        ++marker;
    };
#define MARK_I32(name, offset, def) \
    mark(#name, 4, [&](uint8_t m) { record.name = static_cast<int32_t>(m * 0x01010101u); });
#define MARK_TEXT(name, offset, width, def) \
    mark(#name, width, [&](uint8_t m) { record.name = std::string(width - 1, char(m)); });
#define MARK_RAW(name, offset, width) mark(#name, width, [&](uint8_t m) { record.name.fill(m); });
    MDK_CONFIG_FIELDS(MARK_I32, MARK_TEXT, MARK_RAW)
#undef MARK_I32
#undef MARK_TEXT
#undef MARK_RAW
    // A text keeps its last byte for the terminator.
    for (const FieldSpan& field : kLayout) {
        if (field.width > 16) expected[field.offset + field.width - 1] = 0;
    }
    const ConfigRecord::Image image = record.serialize();
    for (const FieldSpan& field : kLayout) {
        for (size_t i = field.offset; i < field.offset + field.width; ++i) {
            ASSERT_EQ(image[i], expected[i]) << field.name << " at byte " << i;
        }
    }
    EXPECT_EQ(marker - 0x21, static_cast<int>(std::size(kLayout)));
}

std::string textAt(const ConfigRecord::Image& image, size_t offset) {
    return std::string(reinterpret_cast<const char*>(&image[offset]));
}

TEST(ConfigRecord, DefaultsAsStored) {
    const ConfigRecord::Image image = ConfigRecord{}.serialize();
    EXPECT_EQ(bytes::le32(&image[0]), 0xFFFFFFFFu);
    EXPECT_EQ(bytes::le32(&image[4]), 0u);
    EXPECT_EQ(bytes::le32(&image[8]), 3u);
    EXPECT_EQ(bytes::le32(&image[12]), 0u);
    EXPECT_EQ(bytes::le32(&image[16]), 624u);
    EXPECT_EQ(bytes::le32(&image[20]), 0u);
    EXPECT_EQ(bytes::le32(&image[24]), 446u);
    EXPECT_EQ(bytes::le32(&image[28]), 1u);
    EXPECT_TRUE(std::all_of(&image[32], &image[44], [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(bytes::le32(&image[44]), 1u);
    EXPECT_EQ(bytes::le32(&image[48]), 1u);
    EXPECT_EQ(textAt(image, 60), "/a/*.*");
    EXPECT_EQ(bytes::le32(&image[322]), 2u);
    EXPECT_EQ(bytes::le32(&image[326]), 2u);
    EXPECT_EQ(textAt(image, 334), "");
    EXPECT_EQ(bytes::le32(&image[876]), 8u);
    EXPECT_EQ(bytes::le32(&image[1163]), 0u);
    EXPECT_EQ(textAt(image, 1167), "at+mode=13");
    EXPECT_EQ(bytes::le32(&image[1677]), 0u);
    EXPECT_TRUE(ConfigRecord::imageIsValid(image));
}

ConfigRecord distinctiveRecord() {
    ConfigRecord r;
    r.commandSet = 1;
    r.windowLeft = -8;
    r.windowRight = 1280;
    r.windowTop = -1;
    r.windowBottom = 0x01020304;
    r.reserved = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 11, 12, 13, 14, 15, 16};
    r.noviceAlerts = 0;
    r.useTidewatch = 1;
    r.useFilter = 1;
    r.searchPattern = "/e/mobile/*.mp3";
    r.leftSource = 7;
    r.rightSource = 1;
    r.comPort = "/dev/ttyACM0";
    r.leftPath = "/home/user/Phone backups";
    r.rightPath = "/tmp";
    r.logPackets = 1;
    r.interfaceIndex = 12;
    r.fourthSlotVolume = "/g";
    r.favouriteFolder = "_/home/user/Skins";
    r.connectionMode = 3;
    r.usblanSwitchCommand = "at+mode=99";
    r.usblanIp = "192.168.16.2";
    r.useGivenIp = 1;
    return r;
}

TEST(ConfigRecord, RoundTripKeepsEveryField) {
    const ConfigRecord original = distinctiveRecord();
    const ConfigRecord::Image image = original.serialize();
    EXPECT_EQ(bytes::le32(&image[12]), 0xFFFFFFF8u);  // little-endian, signed
    EXPECT_EQ(image[24], 0x04);
    EXPECT_EQ(image[27], 0x01);
    const auto parsed = ConfigRecord::parse(image);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, original);
}

TEST(ConfigRecord, ShortImageIsRefused) {
    const ConfigRecord::Image image = ConfigRecord{}.serialize();
    EXPECT_FALSE(ConfigRecord::parse(std::span(image.data(), image.size() - 1)).has_value());
    EXPECT_FALSE(ConfigRecord::imageIsValid(std::span(image.data(), image.size() - 1)));
}

TEST(ConfigRecord, TextWithoutTerminatorStopsAtItsField) {
    ConfigRecord::Image image = ConfigRecord{}.serialize();
    std::fill_n(&image[334], 20, uint8_t('X'));    // comPort, no terminator
    std::memcpy(&image[354], "next", 5);           // leftPath right behind it
    std::fill_n(&image[1422], 255, uint8_t('9'));  // usblanIp, then useGivenIp
    const auto parsed = ConfigRecord::parse(image);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->comPort, std::string(19, 'X'));
    EXPECT_EQ(parsed->leftPath, "next");
    EXPECT_EQ(parsed->usblanIp, std::string(254, '9'));
}

TEST(ConfigRecord, OverlongTextIsCutToItsField) {
    ConfigRecord record;
    record.comPort = std::string(40, 'C');
    record.leftPath = "after";
    const ConfigRecord::Image image = record.serialize();
    EXPECT_EQ(image[353], 0);
    EXPECT_EQ(textAt(image, 334), std::string(19, 'C'));
    EXPECT_EQ(textAt(image, 354), "after");
}

class RecordingApp : public AppControl {
public:
    void hideStartupPicture() override { ++hides; }
    void restartApplication() override { ++restarts; }
    int hides = 0;
    int restarts = 0;
};

class ConfigFileTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "mdk-config-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        path = folder / ".config";
    }
    void TearDown() override { fs::remove_all(folder); }

    void writeFile(const std::vector<uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<uint8_t> readFile() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::vector<uint8_t> imageOf(const ConfigRecord& record) {
        const ConfigRecord::Image image = record.serialize();
        return {image.begin(), image.end()};
    }

    fs::path folder;
    fs::path path;
    ScriptedPrompter prompter;
    RecordingApp app;
};

TEST_F(ConfigFileTest, MissingFileLoadsDefaults) {
    ConfigFile file(path.string());
    ConfigRecord record = distinctiveRecord();
    EXPECT_EQ(file.load(record, prompter, app), ConfigLoadResult::Missing);
    EXPECT_EQ(record, ConfigRecord{});
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].title, "Warning");
    EXPECT_EQ(prompter.shown()[0].text, "Config file not found Defaults loaded.");
    EXPECT_TRUE(prompter.shown()[0].systemModal);
    EXPECT_EQ(app.hides, 1);
    EXPECT_EQ(app.restarts, 0);
    EXPECT_FALSE(file.doNotSave());
}

TEST_F(ConfigFileTest, SavedFileLoadsBack) {
    const ConfigRecord original = distinctiveRecord();
    ASSERT_TRUE(ConfigFile(path.string()).save(original));
    EXPECT_EQ(fs::file_size(path), ConfigRecord::kSize);
    ConfigRecord loaded;
    EXPECT_EQ(ConfigFile(path.string()).load(loaded, prompter, app), ConfigLoadResult::Loaded);
    EXPECT_EQ(loaded, original);
    EXPECT_TRUE(prompter.shown().empty());
    EXPECT_FALSE(fs::exists(path.string() + ".new"));
    for (const auto& entry : fs::directory_iterator(path.parent_path())) {
        EXPECT_EQ(entry.path().string().find(kPendingFilePrefix), std::string::npos)
            << "temporary left";
    }
}

TEST_F(ConfigFileTest, LongerFileLoadsItsFirstRecord) {
    std::vector<uint8_t> bytes = imageOf(distinctiveRecord());
    bytes.insert(bytes.end(), 300, 0xEE);
    writeFile(bytes);
    ConfigRecord loaded;
    EXPECT_EQ(ConfigFile(path.string()).load(loaded, prompter, app), ConfigLoadResult::Loaded);
    EXPECT_EQ(loaded, distinctiveRecord());
    EXPECT_EQ(app.restarts, 0);
}

struct CorruptCase {
    const char* what;
    size_t size;
    size_t wordOffset;
    uint32_t wordValue;
};

// The case as the test list and failure messages show it.
void PrintTo(const CorruptCase& c, std::ostream* out) {
    *out << c.what;
}

class CorruptConfig : public ConfigFileTest, public testing::WithParamInterface<CorruptCase> {};

TEST_P(CorruptConfig, IsDeletedAndRestarts) {
    std::vector<uint8_t> bytes = imageOf(distinctiveRecord());
    bytes::putLe32(&bytes[GetParam().wordOffset], GetParam().wordValue);
    bytes.resize(GetParam().size);
    writeFile(bytes);

    ConfigFile file(path.string());
    ConfigRecord record = distinctiveRecord();
    EXPECT_EQ(file.load(record, prompter, app), ConfigLoadResult::Corrupted);
    EXPECT_FALSE(fs::exists(path));
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].title, "Warning !");
    EXPECT_EQ(prompter.shown()[0].text,
              "Config file corrupted, deleted now Application will restart.");
    EXPECT_EQ(prompter.shown()[0].icon, PromptIcon::Information);
    EXPECT_TRUE(prompter.shown()[0].systemModal);
    EXPECT_EQ(app.restarts, 1);
    EXPECT_EQ(app.hides, 1);
    EXPECT_EQ(record, ConfigRecord{});

    // No save at this exit: the next start finds no file and uses the defaults.
    EXPECT_TRUE(file.doNotSave());
    EXPECT_FALSE(file.save(distinctiveRecord()));
    EXPECT_FALSE(fs::exists(path));
    ConfigRecord next = distinctiveRecord();
    EXPECT_EQ(ConfigFile(path.string()).load(next, prompter, app), ConfigLoadResult::Missing);
    EXPECT_EQ(next, ConfigRecord{});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CorruptConfig,
    testing::Values(CorruptCase{"one byte short", ConfigRecord::kSize - 1, 0, 0xFFFFFFFF},
                    CorruptCase{"empty", 0, 0, 0xFFFFFFFF},
                    CorruptCase{"first word not all ones", ConfigRecord::kSize, 0, 250},
                    CorruptCase{"second word not zero", ConfigRecord::kSize, 4, 1}),
    [](const testing::TestParamInfo<CorruptCase>& info) { return caseName(info.param.what); });

TEST_F(ConfigFileTest, CorruptFileThatCannotBeDeletedDoesNotRestart) {
    // A folder in the file's place cannot be deleted as a file; restarting would meet it
    // again at every start.
    fs::create_directory(path);
    ConfigFile file(path.string());
    ConfigRecord record = distinctiveRecord();
    EXPECT_EQ(file.load(record, prompter, app), ConfigLoadResult::CorruptedKept);
    EXPECT_EQ(app.restarts, 0);
    EXPECT_EQ(record, ConfigRecord{});
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].title, "Warning !");
    EXPECT_TRUE(fs::is_directory(path));
}

TEST_F(ConfigFileTest, SaveWhileAPackageLimitsTheFileCountStillLoads) {
    ConfigRecord record = distinctiveRecord();
    record.fileCountLimit = 250;
    ASSERT_TRUE(ConfigFile(path.string()).save(record));
    ConfigRecord loaded;
    EXPECT_EQ(ConfigFile(path.string()).load(loaded, prompter, app), ConfigLoadResult::Loaded);
    EXPECT_EQ(loaded.fileCountLimit, -1);
    EXPECT_EQ(loaded.fadeIn, 0);
    EXPECT_EQ(loaded.leftPath, record.leftPath);
    EXPECT_EQ(app.restarts, 0);
}

TEST_F(ConfigFileTest, FailedSaveKeepsTheOldFile) {
    ASSERT_TRUE(ConfigFile(path.string()).save(ConfigRecord{}));
    const std::vector<uint8_t> before = readFile();
    // The new image cannot be written whole: files may not grow past 1000 bytes.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = ConfigFile(path.string()).save(distinctiveRecord());
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(readFile(), before);
    for (const auto& entry : fs::directory_iterator(path.parent_path())) {
        EXPECT_EQ(entry.path().string().find(kPendingFilePrefix), std::string::npos)
            << "temporary left";
    }
}

TEST_F(ConfigFileTest, FailedSaveOverAFolderLeavesNoTemporaryFile) {
    fs::create_directory(path);
    EXPECT_FALSE(ConfigFile(path.string()).save(distinctiveRecord()));
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_FALSE(fs::exists(path.string() + ".new"));
    for (const auto& entry : fs::directory_iterator(path.parent_path())) {
        EXPECT_EQ(entry.path().string().find(kPendingFilePrefix), std::string::npos)
            << "temporary left";
    }
}

}  // namespace
}  // namespace mdk
