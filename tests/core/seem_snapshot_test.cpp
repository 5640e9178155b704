// Seem snapshots: a seems-only backup of the simulated phone and what a comparison reads
// back from it, from a seem file and from the phone, with the sources that cannot be read.
#include "backup/seem_snapshot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "backup/phone_backup.h"
#include "phone_fixture.h"
#include "platform/safe_file.h"

namespace mdk::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct SnapshotPhone {
    SnapshotPhone() {
        f.model.setSeem(0x32, 1, {1, 2, 3, 4});
        f.model.setSeem(0x32, 2, {5, 6});
        f.context.commands.probeCommandSet();
    }
    BackupPhone backupPhone() {
        return {f.context.commands, f.context.catalogue, f.context.runSettings, f.context.clock};
    }
    BackupSummary seemsOnly(const std::string& folder) {
        BackupPhone p = backupPhone();
        return runBackup(p, {folder, {0x32}, true}, {});
    }
    std::string folder() const { return f.programFolder() + "/snap"; }
    PhoneFixture f;
};

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(SeemSnapshot, SeemsOnlyBackupStoresTheRecordsAndReadsBack) {
    SnapshotPhone phone;
    const BackupSummary summary = phone.seemsOnly(phone.folder());
    ASSERT_TRUE(summary.ok()) << summary.error;
    EXPECT_EQ(summary.seems.added, 2);
    EXPECT_EQ(summaryText(summary),
              "Seem records: 2 new, 0 changed, 0 unchanged, 0 vanished, 0 failed\n");
    EXPECT_FALSE(fs::exists(phone.folder() + "/files"));
    std::string error;
    auto snapshot = readBackupSeems(phone.folder(), error);
    ASSERT_TRUE(snapshot) << error;
    EXPECT_EQ(snapshot->records, (SeemRecordSet{{{0x32, 1}, {1, 2, 3, 4}}, {{0x32, 2}, {5, 6}}}));
    EXPECT_EQ(snapshot->model, phone.f.model.modelName());
    EXPECT_EQ(snapshot->framing, "P2k05");
    EXPECT_TRUE(p2k05Framing(snapshot->framing));
    EXPECT_TRUE(p2k05Framing("P2k05 over USBLAN"));
    EXPECT_FALSE(p2k05Framing("P2k"));
}

TEST(SeemSnapshot, SeemsOnlyRunKeepsTheFilesOfAWholeBackup) {
    SnapshotPhone phone;
    Manifest whole;
    whole.model = phone.f.model.modelName();
    whole.files["/a/x.txt"] = {1, 1, 0x07000400, std::string(64, 'a'), false};
    std::string error;
    ASSERT_TRUE(makeFolders(phone.folder(), error)) << error;
    ASSERT_TRUE(writeManifest(phone.folder(), whole, error)) << error;
    ASSERT_TRUE(phone.seemsOnly(phone.folder()).ok());
    const auto manifest = readManifest(phone.folder(), error);
    ASSERT_TRUE(manifest) << error;
    EXPECT_EQ(manifest->files.size(), 1u);
    EXPECT_FALSE(manifest->files.at("/a/x.txt").vanished);
    EXPECT_EQ(manifest->seems.size(), 2u);
}

TEST(SeemSnapshot, BackupFoldersThatCannotBeRead) {
    struct Case {
        const char* name;
        std::function<void(const std::string& folder)> spoil;
        const char* error;
    };
    const Case cases[] = {
        {"no manifest", [](const std::string& d) { fs::remove(d + "/manifest.json"); },
         "is not a backup folder"},
        {"a manifest that is not one",
         [](const std::string& d) { writeBytes(d + "/manifest.json", "{"); }, "not a JSON object"},
        {"a stored record changed",
         [](const std::string& d) { writeBytes(d + "/seems/0032_0002.seem", "xy"); },
         "0032_0002.seem is missing or does not match the manifest"},
        {"a stored record gone",
         [](const std::string& d) { fs::remove(d + "/seems/0032_0001.seem"); },
         "0032_0001.seem is missing or does not match the manifest"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SnapshotPhone phone;
        ASSERT_TRUE(phone.seemsOnly(phone.folder()).ok());
        c.spoil(phone.folder());
        std::string error;
        EXPECT_FALSE(readBackupSeems(phone.folder(), error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

TEST(SeemSnapshot, SeemFiles) {
    PhoneFixture f;
    const std::string good = f.programFolder() + "/0032_000A.seem";
    writeBytes(good, "abc");
    const std::string badName = f.programFolder() + "/setting.seem";
    writeBytes(badName, "abc");
    const std::string tooLong = f.programFolder() + "/0032_0001.seem";
    writeBytes(tooLong, std::string(kSeemRecordMax + 1, 'x'));
    std::string error;
    auto snapshot = readSeemFileSnapshot(good, error);
    ASSERT_TRUE(snapshot) << error;
    EXPECT_EQ(snapshot->records, (SeemRecordSet{{{0x32, 0x0A}, {'a', 'b', 'c'}}}));
    EXPECT_TRUE(snapshot->framing.empty());
    EXPECT_FALSE(readSeemFileSnapshot(badName, error));
    EXPECT_NE(error.find("neither a backup folder nor a seem file"), std::string::npos) << error;
    EXPECT_FALSE(readSeemFileSnapshot(tooLong, error));
    EXPECT_NE(error.find("longer than any seem record"), std::string::npos) << error;
    EXPECT_FALSE(readSeemFileSnapshot(f.programFolder() + "/0032_0002.seem", error));
}

TEST(SeemSnapshot, PhoneReadsWholeSeemsOrTheOtherSidesRecords) {
    SnapshotPhone phone;
    BackupPhone p = phone.backupPhone();
    const SeemRecordSet other = {{{0x32, 1}, {}}, {{0x33, 7}, {}}};
    std::string error;
    auto whole = readPhoneSeems(p, other, true, error);
    ASSERT_TRUE(whole) << error;
    EXPECT_EQ(*whole, (SeemRecordSet{{{0x32, 1}, {1, 2, 3, 4}}, {{0x32, 2}, {5, 6}}}));
    auto some = readPhoneSeems(p, other, false, error);
    ASSERT_TRUE(some) << error;
    EXPECT_EQ(*some, (SeemRecordSet{{{0x32, 1}, {1, 2, 3, 4}}}));
    // Without the phone no record reads as missing: the read fails.
    phone.f.context.driver.setLink(nullptr);
    EXPECT_FALSE(readPhoneSeems(p, other, true, error));
    EXPECT_NE(error.find("stopped answering"), std::string::npos) << error;
}

}  // namespace
}  // namespace mdk::test
