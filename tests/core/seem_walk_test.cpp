// Walks over a seem's records against a phone that answers every record number: the seem
// folder's listing, the whole-seem download and the backup's reading all stop at 00FE,
// the highest record a seem file can name.
#include <gtest/gtest.h>

#include <filesystem>

#include "backup/backup_phone.h"
#include "phone_fixture.h"
#include "seem/seem_transfer.h"

namespace mdk::test {
namespace {

namespace fs = std::filesystem;

class EndlessSeem : public ::testing::Test {
protected:
    EndlessSeem() {
        for (uint16_t record = 1; record <= 0x1FF; ++record) {
            f.model.setSeem(0x0032, record, {static_cast<uint8_t>(record), 0x55});
        }
        f.context.commands.probeCommandSet();
    }
    PhoneFixture f;
};

TEST_F(EndlessSeem, TheSeemFolderListsRecordsUpTo00FE) {
    const auto rows = listSeemRecords(f.context.commands, "0032", nullptr);
    ASSERT_EQ(rows.size(), 0xFEu);
    EXPECT_EQ(rows.back().name, "0032_00FE.seem");
}

TEST_F(EndlessSeem, AWholeSeemDownloadWritesRecordsUpTo00FE) {
    const fs::path target = fs::path(f.programFolder()) / "seems";
    fs::create_directories(target);
    const auto written = downloadWholeSeem(f.context.commands, "0032", target.string());
    ASSERT_EQ(written.size(), 0xFEu);
    EXPECT_EQ(written.back(), (target / "0032_00FE.seem").string());
    EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 0xFE);
}

TEST_F(EndlessSeem, ABackupReadsRecordsUpTo00FE) {
    BackupPhone phone{f.context.commands, f.context.catalogue, f.context.runSettings,
                      f.context.clock};
    const auto records = readSeemRecords(phone, 0x0032);
    ASSERT_EQ(records.size(), 0xFEu);
    EXPECT_EQ(records.back().first, 0xFE);
}

}  // namespace
}  // namespace mdk::test
