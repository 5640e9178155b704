// Whole-phone backup, verify and restore against the simulated phone: byte-for-byte copies,
// incremental runs that read only what changed, verify, restore onto an empty phone, the
// dry run, seems guarded by confirmation and model, a dropped link and cancel; the manifest
// and the stored-path rule.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "backup/phone_backup.h"
#include "backup/phone_restore.h"
#include "backup/sha256.h"
#include "fifo_guard.h"
#include "p2k/transfer_watch.h"
#include "p2k/transport.h"
#include "phone_fixture.h"
#include "platform/safe_file.h"
#include "seem/seem_file.h"
#include "sim/sample_phone.h"
#include "sim/state_dump.h"

namespace mdk::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const std::vector<uint16_t> kSeems = {0x0004, 0x0032, 0x0104, 0x0117, 0x02FE};

// In memory where the system offers it: every stored file is synced to disk.
class TempFolder {
public:
    TempFolder() {
        const fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        std::string pattern = (base / "mdk-backup-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string path() const { return path_; }
    std::string sub(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A simulated phone, probed, with the sample contents (or empty).
struct Phone {
    explicit Phone(bool sample = true, const std::string& model = "V3 RAZR") : f(kind()) {
        if (model != f.model.modelName()) f.model.setSeem(0x0117, 1, sim::gsmIdentityRecord(model));
        if (sample) sim::loadSamplePhone(f.model);
        f.context.commands.probeCommandSet();
    }
    static sim::PhoneKind kind() { return sim::PhoneKind::P2k05Gsm; }
    BackupPhone backupPhone() {
        return {f.context.commands, f.context.catalogue, f.context.runSettings, f.context.clock};
    }
    std::vector<sim::PhoneEntry> files() const {
        std::vector<sim::PhoneEntry> out;
        for (auto& e : f.model.files()) {
            if (!e.folder) out.push_back(e);
        }
        return out;
    }
    PhoneFixture f;
};

// Calls a function at each progress report.
class Watcher final : public RunObserver {
public:
    explicit Watcher(std::function<void(const RunProgress&)> onProgress)
        : onProgress_(std::move(onProgress)) {}
    void progress(const RunProgress& state) override { onProgress_(state); }

private:
    std::function<void(const RunProgress&)> onProgress_;
};

BackupSummary backUp(Phone& phone, const std::string& folder, RunControl control = {}) {
    BackupPhone p = phone.backupPhone();
    return runBackup(p, {folder, kSeems}, control);
}

Manifest manifestOf(const std::string& folder) {
    std::string error;
    auto manifest = readManifest(folder, error);
    EXPECT_TRUE(manifest) << error;
    return manifest.value_or(Manifest{});
}

Bytes fileBytes(const std::string& path) {
    std::string error;
    return readWholeFile(path, error).value_or(Bytes{});
}

// Files left behind by an interrupted write (temporary names).
std::vector<std::string> strayFiles(const std::string& folder, const Manifest& manifest) {
    std::vector<std::string> stray;
    if (!fs::exists(folder + "/files")) return stray;
    for (auto& entry : fs::recursive_directory_iterator(folder + "/files")) {
        if (!entry.is_regular_file()) continue;
        const std::string phonePath = entry.path().string().substr(folder.size() + 6);
        if (!manifest.files.count(phonePath)) stray.push_back(phonePath);
    }
    return stray;
}

TEST(Backup, StoresEveryFileAndSeemRecordByteForByte) {
    Phone phone;
    TempFolder dir;
    const BackupSummary summary = backUp(phone, dir.path());
    ASSERT_TRUE(summary.ok()) << summary.error << summaryText(summary);

    const Manifest manifest = manifestOf(dir.path());
    EXPECT_EQ(manifest.model, "V3 RAZR");
    EXPECT_EQ(manifest.family, "GSM");
    EXPECT_EQ(manifest.framing, "P2k05");
    const auto files = phone.files();
    ASSERT_GT(files.size(), 100u);
    EXPECT_EQ(summary.files.added, int(files.size()));
    EXPECT_EQ(manifest.files.size(), files.size());
    for (const auto& entry : files) {
        SCOPED_TRACE(entry.path);
        const Bytes original = *phone.f.model.fileBytes(entry.path);
        EXPECT_EQ(fileBytes(dir.sub("files" + entry.path)), original);
        const ManifestFile& listed = manifest.files.at(entry.path);
        EXPECT_EQ(listed.attributeWord, entry.attributes);
        EXPECT_EQ(listed.size, original.size());
        EXPECT_EQ(listed.sha256, sha256Hex(original));
    }
    size_t records = 0;
    for (const auto& seem : phone.f.model.seems()) {
        // Records are walked from 0001 to the first gap (02FE has record 00FE alone).
        if (std::find(kSeems.begin(), kSeems.end(), seem.seem) == kSeems.end() ||
            !phone.f.model.hasSeem(seem.seem, 1)) {
            continue;
        }
        SCOPED_TRACE(seemFileName(seem.seem, seem.record));
        ++records;
        EXPECT_EQ(fileBytes(storedSeemPath(dir.path(), {seem.seem, seem.record})), seem.data);
        EXPECT_EQ(manifest.seems.at({seem.seem, seem.record}).sha256, sha256Hex(seem.data));
    }
    EXPECT_EQ(records, 6u);
    EXPECT_EQ(manifest.seems.size(), records);
}

// The user's search filter and file-count limit are for the phone pane: the backup lists
// every file whatever they are, and they hold the user's values again afterwards.
TEST(Backup, StoresEveryFileWhateverTheSearchFilterAndLimit) {
    Phone phone;
    RunSettings& run = phone.f.context.runSettings;
    run.change([](RunValues& values) {
        values.useFilter = 1;
        values.searchPattern = "/a/*.mp3";
        values.fileCountLimit = 3;
    });
    const RunValues users = run.read();
    TempFolder dir;
    const BackupSummary summary = backUp(phone, dir.path());
    ASSERT_TRUE(summary.ok()) << summary.error << summaryText(summary);
    EXPECT_EQ(manifestOf(dir.path()).files.size(), phone.files().size());
    EXPECT_EQ(run.read(), users);
}

// A record's attribute word is read by the mode the program runs in (a USBLAN link made at
// run time), not by the mode saved in the configuration.
TEST(Backup, AttributeWordsFollowTheRunningMode) {
    struct Case {
        ConnectionMode running;
        ConnectionMode saved;
        uint32_t attributes;
        uint32_t openMode;
    };
    const Case cases[] = {
        {ConnectionMode::P2k05OverUsblan, ConnectionMode::P2k, 0x11224433, 0x4433},
        {ConnectionMode::P2k, ConnectionMode::P2k05OverUsblan, 0x11223344, 0x2233},
    };
    for (const Case& c : cases) {
        Phone phone(false);
        phone.f.context.config.connectionMode = static_cast<int32_t>(c.saved);
        phone.f.context.runSettings.change(
            [&](RunValues& values) { values.connectionMode = static_cast<int32_t>(c.running); });
        const BackupPhone p = phone.backupPhone();
        CatalogueRecord record;
        record.path = "/a/x";
        record.attributeWord = 0x11223344;
        EXPECT_EQ(listedAttributes(p, record.attributeWord), c.attributes);
        EXPECT_EQ(downloadOpenMode(p, record), c.openMode);
    }
}

TEST(Backup, SecondRunReadsOnlyChangedAndNewFiles) {
    Phone phone;
    TempFolder dir;
    ASSERT_TRUE(backUp(phone, dir.path()).ok());
    const auto files = phone.files();
    const std::string changed = files[3].path;
    const std::string gone = files[7].path;
    ASSERT_TRUE(phone.f.model.addFile(changed, Bytes(77, 'c')));
    ASSERT_TRUE(phone.f.model.addFile("/a/mobile/new.txt", Bytes(5, 'n')));
    ASSERT_EQ(phone.f.context.commands.phoneDeleteFile(gone), 0);
    const auto readsBefore = phone.f.model.fileReadCounts();

    const BackupSummary summary = backUp(phone, dir.path());
    ASSERT_TRUE(summary.ok()) << summaryText(summary);
    EXPECT_EQ(summary.files.changed, 1);
    EXPECT_EQ(summary.files.added, 1);
    EXPECT_EQ(summary.files.vanished, 1);
    EXPECT_EQ(summary.files.unchanged, int(files.size()) - 2);
    std::vector<std::string> read;
    for (const auto& [path, count] : phone.f.model.fileReadCounts()) {
        if (count != (readsBefore.count(path) ? readsBefore.at(path) : 0)) read.push_back(path);
    }
    EXPECT_EQ(read, (std::vector<std::string>{changed, "/a/mobile/new.txt"}));

    const Manifest manifest = manifestOf(dir.path());
    EXPECT_EQ(fileBytes(dir.sub("files" + changed)), Bytes(77, 'c'));
    EXPECT_EQ(manifest.files.at(changed).sha256, sha256Hex(Bytes(77, 'c')));
    EXPECT_TRUE(manifest.files.at(gone).vanished);
    EXPECT_TRUE(fs::exists(dir.sub("files" + gone))) << "a vanished file's copy is kept";
    EXPECT_NE(summaryText(summary).find("Files: 1 new, 1 changed, "), std::string::npos);
}

TEST(Backup, IntoAFolderOfAnotherPhoneIsRefused) {
    Phone phone;
    Phone other(true, "E398");
    TempFolder dir;
    ASSERT_TRUE(backUp(phone, dir.path()).ok());
    const std::string before = manifestText(manifestOf(dir.path()));
    const BackupSummary summary = backUp(other, dir.path());
    EXPECT_NE(summary.error.find("another phone (V3 RAZR)"), std::string::npos);
    EXPECT_EQ(manifestText(manifestOf(dir.path())), before);
}

TEST(Verify, MatchesUntilOneByteChangesOnThePhoneOrInTheBackup) {
    Phone phone;
    TempFolder dir;
    ASSERT_TRUE(backUp(phone, dir.path()).ok());
    BackupPhone p = phone.backupPhone();
    const std::string before = manifestText(manifestOf(dir.path()));
    VerifyReport report = verifyBackup(p, dir.path(), {});
    EXPECT_TRUE(report.ok()) << (report.differences.empty() ? "" : report.differences[0]);

    const auto files = phone.files();
    const std::string onPhone = files[10].path;
    Bytes bytes = *phone.f.model.fileBytes(onPhone);
    bytes[bytes.size() / 2] ^= 0x01;
    ASSERT_TRUE(phone.f.model.addFile(onPhone, bytes, files[10].attributes));
    const std::string inBackup = files[20].path;
    std::string error;
    Bytes stored = fileBytes(dir.sub("files" + inBackup));
    stored[0] ^= 0x80;
    ASSERT_TRUE(writeFileSafely(dir.sub("files" + inBackup), stored, ExistingFile::Replace, error));
    Bytes seem = phone.f.model.seem(0x0032, 2);
    seem.back() ^= 0x10;
    phone.f.model.setSeem(0x0032, 2, seem);

    report = verifyBackup(p, dir.path(), {});
    EXPECT_FALSE(report.ok());
    EXPECT_EQ(report.differences,
              (std::vector<std::string>{onPhone + ": contents differ",
                                        inBackup + ": the stored copy is missing or damaged",
                                        "0032_0002.seem: contents differ"}));
    EXPECT_EQ(manifestText(manifestOf(dir.path())), before) << "verify writes nothing";
}

// Restore and verify start alike: a folder without a backup is an error, and Cancel
// stops either between files with the run reported as cancelled.
TEST(BackupFolderRuns, NoBackupIsAnErrorAndCancelStopsBetweenFiles) {
    Phone phone;
    TempFolder empty, dir;
    BackupPhone p = phone.backupPhone();
    EXPECT_EQ(verifyBackup(p, empty.path(), {}).error, "no backup in " + empty.path());
    RestoreOptions options;
    options.folder = empty.path();
    EXPECT_EQ(restoreBackup(p, options, {}).error, "no backup in " + empty.path());

    ASSERT_TRUE(backUp(phone, dir.path()).ok());
    std::atomic<bool> cancel{false};
    std::vector<size_t> filesSeen;
    Watcher watcher([&](const RunProgress& state) {
        if (state.phase != "Files") return;
        filesSeen.push_back(state.index);
        if (state.index == 2) cancel = true;
    });
    const VerifyReport verified = verifyBackup(p, dir.path(), {&cancel, &watcher});
    EXPECT_TRUE(verified.cancelled);
    EXPECT_EQ(verified.matched, 3);
    EXPECT_EQ(filesSeen, (std::vector<size_t>{0, 1, 2}));

    cancel = false;
    filesSeen.clear();
    options.folder = dir.path();
    options.dryRun = true;
    const RestoreReport restored = restoreBackup(p, options, {&cancel, &watcher});
    EXPECT_TRUE(restored.cancelled);
    EXPECT_EQ(restored.filesSame, 3);
    EXPECT_EQ(filesSeen, (std::vector<size_t>{0, 1, 2}));
}

// A phone that lists more bytes than it sends: the short copy is not kept and counts as
// failed, whether transfers are checked or not.
TEST(Backup, AFileShorterThanListedIsNotKept) {
    for (bool checked : {false, true}) {
        SCOPED_TRACE(checked);
        Phone phone(false);
        ASSERT_TRUE(phone.f.model.addFile("/a/big.bin", Bytes(50000, 7)));
        ASSERT_TRUE(phone.f.model.addFile("/a/tiny.bin", Bytes(3, 1)));
        phone.f.context.commands.setVerifyTransfers(checked);
        phone.f.phone.faults().shortReadBytes = 4;
        TempFolder dir;
        const BackupSummary summary = backUp(phone, dir.path());
        EXPECT_FALSE(summary.ok());
        EXPECT_EQ(summary.files.added, 1);
        EXPECT_EQ(summary.files.failed, 1);
        EXPECT_EQ(summary.failures,
                  (std::vector<std::string>{
                      "/a/big.bin: the phone sent 4 of the 50000 bytes it listed"}));
        EXPECT_FALSE(fs::exists(dir.sub("files/a/big.bin")));
        const Manifest manifest = manifestOf(dir.path());
        EXPECT_EQ(manifest.files.count("/a/big.bin"), 0u);
        EXPECT_EQ(manifest.files.count("/a/tiny.bin"), 1u);
    }
}

// Verify finds a stored copy shorter than the phone listed (kept by an older run) and a
// phone that now sends less than it lists.
TEST(Verify, ReportsShortCopiesAndAPhoneSendingShort) {
    Phone phone(false);
    ASSERT_TRUE(phone.f.model.addFile("/a/one.bin", Bytes(6000, 3)));
    ASSERT_TRUE(phone.f.model.addFile("/a/two.bin", Bytes(5000, 4)));
    TempFolder dir;
    ASSERT_TRUE(backUp(phone, dir.path()).ok());
    BackupPhone p = phone.backupPhone();
    const VerifyReport first = verifyBackup(p, dir.path(), {});
    ASSERT_TRUE(first.ok());

    // A consistent but short copy: its bytes and hash agree, its length is not the listed one.
    Manifest manifest = manifestOf(dir.path());
    const Bytes shortCopy(4, 3);
    std::string error;
    ASSERT_TRUE(
        writeFileSafely(dir.sub("files/a/one.bin"), shortCopy, ExistingFile::Replace, error));
    manifest.files["/a/one.bin"].size = 4;
    manifest.files["/a/one.bin"].sha256 = sha256Hex(shortCopy);
    ASSERT_TRUE(writeManifest(dir.path(), manifest, error)) << error;
    phone.f.phone.faults().shortReadBytes = 4;  // and the phone now sends 4 bytes of each

    const VerifyReport report = verifyBackup(p, dir.path(), {});
    EXPECT_FALSE(report.ok());
    EXPECT_EQ(report.matched, first.matched - 2) << "neither file matches";
    EXPECT_EQ(
        report.differences,
        (std::vector<std::string>{"/a/one.bin: the stored copy has 4 bytes, the phone listed 6000",
                                  "/a/two.bin: the phone sent 4 of the 5000 bytes it listed"}));
}

TEST(Restore, OntoAnEmptyPhoneMakesFilesAttributesAndSeemsEqual) {
    Phone original;
    ASSERT_TRUE(original.f.model.addFile("/a/mobile/owned.jpg", Bytes(3000, 'o'), 0x0E000500));
    TempFolder dir;
    ASSERT_TRUE(backUp(original, dir.path()).ok());

    Phone fresh(false);
    sim::addSampleSeems(fresh.f.model);
    Bytes seem = fresh.f.model.seem(0x0032, 1);
    seem[0] ^= 0xFF;
    fresh.f.model.setSeem(0x0032, 1, seem);
    std::vector<std::string> asked;
    RestoreOptions options;
    options.folder = dir.path();
    options.confirmSeems = [&](const std::vector<std::string>& names) {
        asked = names;
        return true;
    };
    BackupPhone p = fresh.backupPhone();
    const RestoreReport report = restoreBackup(p, options, {});
    ASSERT_TRUE(report.ok()) << (report.failures.empty() ? report.error : report.failures[0]);

    EXPECT_EQ(asked, std::vector<std::string>{"0032_0001.seem"});
    const auto want = original.files();
    const auto got = fresh.files();
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(want[i].path);
        EXPECT_EQ(got[i].path, want[i].path);
        EXPECT_EQ(got[i].attributes, want[i].attributes);
        EXPECT_EQ(fresh.f.model.fileBytes(got[i].path), original.f.model.fileBytes(want[i].path));
    }
    EXPECT_EQ(fresh.f.model.seem(0x0032, 1), original.f.model.seem(0x0032, 1));

    // Again: everything is there already; nothing is uploaded or written.
    const auto writesBefore = fresh.f.model.commandCount(CommandSet::kWriteSeem);
    const RestoreReport again = restoreBackup(p, options, {});
    EXPECT_TRUE(again.ok());
    EXPECT_TRUE(again.uploaded.empty());
    EXPECT_EQ(again.filesSame, int(want.size()));
    EXPECT_EQ(fresh.f.model.commandCount(CommandSet::kWriteSeem), writesBefore);
}

TEST(Restore, DryRunListsWhatItWouldDoAndWritesNothing) {
    Phone original;
    TempFolder dir;
    ASSERT_TRUE(backUp(original, dir.path()).ok());
    Phone fresh(false);
    sim::addSampleSeems(fresh.f.model);
    fresh.f.model.setSeem(0x0032, 3, Bytes(100, 0x55));
    const std::string before = sim::formatState(fresh.f.model);
    RestoreOptions options;
    options.folder = dir.path();
    options.dryRun = true;
    bool asked = false;
    options.confirmSeems = [&](const std::vector<std::string>&) { return asked = true; };
    BackupPhone p = fresh.backupPhone();
    const RestoreReport report = restoreBackup(p, options, {});

    EXPECT_TRUE(report.ok());
    EXPECT_FALSE(asked);
    EXPECT_EQ(report.uploaded.size(), original.files().size());
    EXPECT_EQ(report.seemsWritten, std::vector<std::string>{"0032_0003.seem"});
    EXPECT_TRUE(fresh.files().empty());
    EXPECT_EQ(fresh.f.model.commandCount(CommandSet::kWriteSeem), 0u);
    EXPECT_EQ(fresh.f.model.seem(0x0032, 3), Bytes(100, 0x55));
    EXPECT_EQ(sim::formatState(fresh.f.model).substr(0, before.find("count\t")),
              before.substr(0, before.find("count\t")));
}

TEST(Restore, SeemsNeedConfirmationAndTheBackupsModel) {
    Phone original;
    TempFolder dir;
    ASSERT_TRUE(backUp(original, dir.path()).ok());
    struct Case {
        const char* model;
        bool confirm;
        bool force;
        bool written;
        const char* refusal;
    };
    const Case cases[] = {
        {"V3 RAZR", false, false, false, "seems not written: not confirmed"},
        {"E398", true, false, false, "the backup is of V3 RAZR, the phone is E398"},
        {"E398", true, true, true, ""},
        {"V3 RAZR", true, false, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + (c.confirm ? " confirmed" : "") +
                     (c.force ? " forced" : ""));
        Phone target(false, c.model);
        sim::addSampleSeems(target.f.model);
        target.f.model.setSeem(0x0032, 2, Bytes(16, 0xAA));
        RestoreOptions options;
        options.folder = dir.path();
        options.files = false;
        options.forceModel = c.force;
        options.confirmSeems = [&](const std::vector<std::string>&) { return c.confirm; };
        BackupPhone p = target.backupPhone();
        const RestoreReport report = restoreBackup(p, options, {});
        EXPECT_EQ(target.f.model.seem(0x0032, 2) == original.f.model.seem(0x0032, 2), c.written);
        EXPECT_EQ(report.seemsRefused.substr(0, std::string(c.refusal).size()), c.refusal);
        EXPECT_TRUE(target.files().empty()) << "--seems restores no file";
    }
}

TEST(Backup, ADroppedLinkLeavesAManifestWithoutTheInterruptedFile) {
    Phone phone;
    TempFolder dir;
    std::string interrupted;
    Watcher watcher([&](const RunProgress& state) {
        if (state.phase == "Files" && state.index == 5 && interrupted.empty()) {
            interrupted = state.item;
            phone.f.phone.faults().dropConnection = true;
        }
    });
    const BackupSummary summary = backUp(phone, dir.path(), {nullptr, &watcher});
    EXPECT_TRUE(summary.linkLost);
    EXPECT_EQ(summary.files.added, 5);
    EXPECT_EQ(summary.files.failed, 1) << "the run stops at the first file the link lost";
    ASSERT_FALSE(summary.failures.empty());
    EXPECT_EQ(summary.failures[0], interrupted + ": download failed");

    const Manifest manifest = manifestOf(dir.path());
    EXPECT_EQ(manifest.files.size(), 5u);
    EXPECT_EQ(manifest.files.count(interrupted), 0u);
    EXPECT_FALSE(fs::exists(dir.sub("files" + interrupted)));
    EXPECT_TRUE(strayFiles(dir.path(), manifest).empty());
    for (const auto& [path, file] : manifest.files) {
        EXPECT_EQ(sha256Hex(fileBytes(dir.sub("files" + path))), file.sha256) << path;
    }
}

TEST(Backup, ALinkLostAmongTheSeemsIsNoSuccess) {
    Phone phone;
    TempFolder dir;
    Watcher watcher([&](const RunProgress& state) {
        if (state.phase == "Seems" && state.index == 2)
            phone.f.phone.faults().dropConnection = true;
    });
    const BackupSummary summary = backUp(phone, dir.path(), {nullptr, &watcher});
    EXPECT_TRUE(summary.linkLost);
    EXPECT_FALSE(summary.ok());
    EXPECT_EQ(summary.files.added, int(phone.files().size()));
    EXPECT_EQ(manifestOf(dir.path()).files.size(), phone.files().size());
}

TEST(Backup, CancelStopsBetweenFilesLeavingTheFolderConsistent) {
    Phone phone;
    TempFolder dir;
    std::atomic<bool> cancel{false};
    Watcher watcher([&](const RunProgress& state) {
        if (state.phase == "Files" && state.index == 4) cancel = true;
    });
    const BackupSummary summary = backUp(phone, dir.path(), {&cancel, &watcher});
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(summary.files.added, 5) << "the file at hand is finished";
    const Manifest manifest = manifestOf(dir.path());
    EXPECT_EQ(manifest.files.size(), 5u);
    EXPECT_TRUE(manifest.seems.empty());
    EXPECT_TRUE(strayFiles(dir.path(), manifest).empty());
    // The next run picks up where this one stopped.
    const BackupSummary rest = backUp(phone, dir.path());
    EXPECT_TRUE(rest.ok());
    EXPECT_EQ(rest.files.unchanged, 5);
    EXPECT_EQ(rest.files.added, int(phone.files().size()) - 5);
}

TEST(Backup, CancelWithinAFileStoresNothingOfIt) {
    Phone phone;
    ASSERT_TRUE(phone.f.model.addFile("/a/big.bin", Bytes(5000, 7)));
    TempFolder dir;
    std::atomic<bool> cancel{false};
    // The watch on the command set stops the file at hand between two blocks.
    TransferWatch watch(phone.f.clock, &cancel);
    watch.setObserver([&](const TransferSnapshot& state) {
        if (state.fileName == "/a/big.bin" && state.fileDone >= 1024) cancel = true;
    });
    phone.f.context.commands.setTransferWatch(&watch);
    const BackupSummary summary = backUp(phone, dir.path(), {&cancel, nullptr});
    phone.f.context.commands.setTransferWatch(nullptr);
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(summary.files.failed, 0) << "a cancelled file is no failure";
    EXPECT_TRUE(summary.failures.empty());
    const Manifest manifest = manifestOf(dir.path());
    EXPECT_EQ(manifest.files.count("/a/big.bin"), 0u);
    EXPECT_FALSE(fs::exists(dir.sub("files/a/big.bin")));
    EXPECT_TRUE(strayFiles(dir.path(), manifest).empty());
}

TEST(BackupPaths, PhonePathsNeverLeaveTheFilesFolder) {
    EXPECT_EQ(storedFilePath("/b", "/a/mobile/x.jpg"), "/b/files/a/mobile/x.jpg");
    EXPECT_EQ(storedFilePath("/b", "/a/.x/y..z"), "/b/files/a/.x/y..z");
    for (const char* path :
         {"/a/../../etc/x", "/..", "/a/./x", "/a//x", "/a/x/", "a/x", "", "/", "/a/x\n", "/a/.."}) {
        EXPECT_EQ(storedFilePath("/b", path), std::nullopt) << path;
    }
    EXPECT_EQ(storedSeemPath("/b", {0x32, 0x0A}), "/b/seems/0032_000A.seem");
}

TEST(Sha256, PieceByPieceGivesTheDigestOfTheWhole) {
    const std::string abc = "abc";
    const Bytes bytes(abc.begin(), abc.end());
    EXPECT_EQ(sha256Hex(bytes), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    Bytes big(5000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31);
    for (size_t piece : {size_t(1), size_t(1024), size_t(4999)}) {
        SCOPED_TRACE(piece);
        Sha256 digest;
        for (size_t at = 0; at < big.size(); at += piece) {
            digest.update(std::span(big).subspan(at, std::min(piece, big.size() - at)));
        }
        EXPECT_EQ(digest.hex(), sha256Hex(big));
    }
}

// A manifest of a GSM phone of the given model, without entries.
Manifest emptyManifest(const std::string& model) {
    Manifest manifest;
    manifest.model = model;
    manifest.family = "GSM";
    manifest.framing = "P2k";
    manifest.date = "2026-12-10T05:00:00Z";
    return manifest;
}

TEST(Manifest, ReadsBackWhatItWroteAndRejectsBadInput) {
    Manifest manifest = emptyManifest("V3 RAZR");
    const std::string odd = std::string("/a/\xE9t\xE9\\x/") + "\x7F" + "q";
    manifest.files[odd] = {3, 4, 0x0E000500, std::string(64, 'a'), true};
    manifest.files["/a/b"] = {0, 0, 0, sha256Hex({}), false};
    manifest.folders["/a/empty"] = {0x07001000};
    manifest.seems[{0x32, 1}] = {4, std::string(64, 'f')};
    std::string error;
    auto back = parseManifest(manifestText(manifest), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(manifestText(*back), manifestText(manifest));
    EXPECT_TRUE(back->files.at(odd).vanished);
    EXPECT_EQ(back->files.at(odd).attributeWord, 0x0E000500u);

    const std::string good = manifestText(manifest);
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::pair<std::string, std::string> bad[] = {
        {"", "not a JSON object"},
        {"[1,2]", "not a JSON object"},
        {good.substr(0, good.size() / 2), "not a JSON object"},
        {replaced("\"version\": 1", "\"version\": 2"), "unknown version"},
        {replaced("\"model\"", "\"modle\""), "missing field \"model\""},
        {replaced("0E000500", "0E0005"), "\"attributes\" is not 8 hexadecimal digits"},
        {replaced(std::string(64, 'f'), std::string(63, 'f')), "\"sha256\" is not 64"},
        {replaced("\"seem\": 50", "\"seem\": 70000"), "\"seem\" is not a number up to 65535"},
        {replaced("\"size\": 3", "\"size\": -3"), "\"size\" is not a number"},
        {replaced("\\\\xE9t", "\\\\xZ9t"), "bad escape in phone path"},
        {replaced("\"/a/empty\"", "\"a/empty\""), "phone path not absolute"},
    };
    for (const auto& [text, message] : bad) {
        SCOPED_TRACE(text.substr(0, 40));
        error.clear();
        EXPECT_FALSE(parseManifest(text, error));
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

// The model text is the low byte of each unit: Latin-1 and bytes that are no UTF-8 are
// normal, and paths may hold any byte from 0x80 to 0xFF. All come back exactly.
TEST(Manifest, ModelNamesAndPathsWithEveryHighByteReadBackExactly) {
    Manifest manifest = emptyManifest("RAZR \xE9\x80\xFF\\");
    std::string high = "/a/";
    for (int byte = 0x80; byte <= 0xFF; ++byte) high.push_back(static_cast<char>(byte));
    manifest.files[high] = {1, 1, 0x07000400, std::string(64, 'b'), false};
    manifest.folders[high + "d"] = {0x07001000};
    std::string error;
    auto back = parseManifest(manifestText(manifest), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->model, manifest.model);
    ASSERT_EQ(back->files.size(), 1u);
    EXPECT_EQ(back->files.begin()->first, high);
    EXPECT_EQ(back->folders.begin()->first, high + "d");
}

TEST(Backup, APhoneWhoseModelNameIsNotUtf8IsBackedUpAndVerified) {
    const std::string model = "V3 RAZR \xE9t\xE9";
    Phone phone(false, model);
    ASSERT_TRUE(phone.f.model.addFile("/a/mobile/x.jpg", Bytes(300, 'x'), 0x07000400));
    TempFolder dir;
    const BackupSummary summary = backUp(phone, dir.path());
    ASSERT_TRUE(summary.ok()) << summary.error;
    EXPECT_EQ(manifestOf(dir.path()).model, model);
    BackupPhone p = phone.backupPhone();
    const VerifyReport report = verifyBackup(p, dir.path(), {});
    EXPECT_TRUE(report.ok()) << report.error
                             << (report.differences.empty() ? "" : report.differences[0]);
}

// DIR/files a link to another folder: the phone's files are not written there.
TEST(BackupFolder, ALinkInsideTheFolderIsRefusedNeverFollowed) {
    Phone phone(false);
    ASSERT_TRUE(phone.f.model.addFile("/a/mobile/x.jpg", Bytes(300, 'x'), 0x07000400));
    TempFolder dir;
    const std::string outside = dir.sub("outside");
    fs::create_directories(outside);
    fs::create_directories(dir.sub("real"));
    fs::create_directory_symlink(outside, dir.sub("real/files"));
    fs::create_directory_symlink(dir.sub("real"), dir.sub("chosen"));

    const BackupSummary summary = backUp(phone, dir.sub("chosen"));
    EXPECT_FALSE(summary.ok());
    EXPECT_EQ(summary.files.failed, 1);
    ASSERT_EQ(summary.failures.size(), 1u);
    EXPECT_NE(summary.failures[0].find("a link inside"), std::string::npos) << summary.failures[0];
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_TRUE(manifestOf(dir.sub("real")).files.empty()) << "the manifest names nothing unstored";

    fs::remove(dir.sub("real/files"));
    EXPECT_TRUE(backUp(phone, dir.sub("chosen")).ok()) << "the chosen folder may be a link";
    EXPECT_EQ(fileBytes(dir.sub("real/files/a/mobile/x.jpg")), Bytes(300, 'x'));
}

// A named pipe where a stored copy or the manifest belongs: verify, the dry run of a
// restore and a backup say so and end instead of waiting for ever.
TEST(BackupFolder, NamedPipesInTheFolderAreReportedNotWaitedOn) {
    Phone phone(false);
    ASSERT_TRUE(phone.f.model.addFile("/a/mobile/x.jpg", Bytes(300, 'x'), 0x07000400));
    TempFolder dir;
    ASSERT_TRUE(backUp(phone, dir.path()).ok());
    const std::string stored = dir.sub("files/a/mobile/x.jpg");
    fs::remove(stored);
    ASSERT_TRUE(makePipe(stored));
    BackupPhone p = phone.backupPhone();

    VerifyReport verify;
    EXPECT_TRUE(returnsWithoutWaiting(stored, [&] { verify = verifyBackup(p, dir.path(), {}); }));
    ASSERT_EQ(verify.differences.size(), 1u);
    EXPECT_NE(verify.differences[0].find("a named pipe"), std::string::npos)
        << verify.differences[0];

    RestoreOptions options;
    options.folder = dir.path();
    options.dryRun = true;
    RestoreReport restore;
    EXPECT_TRUE(returnsWithoutWaiting(stored, [&] { restore = restoreBackup(p, options, {}); }));
    ASSERT_EQ(restore.failures.size(), 1u);
    EXPECT_NE(restore.failures[0].find("a named pipe"), std::string::npos) << restore.failures[0];

    const std::string manifest = dir.sub(Manifest::kFileName);
    fs::remove(manifest);
    ASSERT_TRUE(makePipe(manifest));
    BackupSummary summary;
    EXPECT_TRUE(returnsWithoutWaiting(manifest, [&] { summary = backUp(phone, dir.path()); }));
    EXPECT_NE(summary.error.find("a named pipe"), std::string::npos) << summary.error;
}

TEST(Backup, ProgressTextShowsSpeedAndTimeLeft) {
    EXPECT_EQ(progressText({"Files", "/a/x", 3, 10, 0, 4096, 0}), "3/10  0%  /a/x");
    EXPECT_EQ(progressText({"Files", "/a/x", 3, 10, 1024, 4096, 2000}),
              "3/10  25%  0.5 KB/s  0:06 left  /a/x");
    EXPECT_EQ(progressText({"Seems", "", 1, 2, 0, 0, 0}), "1/2");
}

TEST(SimState, DumpCountsTheReadsOfEachFile) {
    Phone phone(false);
    ASSERT_TRUE(phone.f.model.addFile("/a/r.bin", Bytes(2500, 1)));
    BackupPhone p = phone.backupPhone();
    ASSERT_TRUE(downloadListedFile(p, {"/a/r.bin", 0x07000400, 2500}));
    const std::string dump = sim::formatState(phone.f.model);
    EXPECT_NE(dump.find("\nreads\t3\t/a/r.bin\n"), std::string::npos) << dump;
    ASSERT_EQ(phone.f.context.commands.phoneDeleteFile("/a/r.bin"), 0);
    EXPECT_EQ(sim::formatState(phone.f.model).find("reads\t"), std::string::npos);
}

}  // namespace
}  // namespace mdk::test
