// Pane state without the GUI: drive entries from the mount table, copying PC files,
// entering locations and their fallbacks.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "base/event_log.h"
#include "base/messages.h"
#include "config/config_record.h"
#include "panes/drive_entries.h"
#include "panes/pane_set.h"
#include "panes/pc_listing.h"
#include "panes/pc_panes.h"

namespace mdk {
namespace {

namespace fs = std::filesystem;

std::string message(int n) {
    return "<" + std::to_string(n) + ">";
}

std::optional<std::string> labels(const std::string& source) {
    if (source == "/dev/sda2") return "DATA";
    return std::nullopt;
}

const char* kMountInfo =
    "21 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "22 21 0:5 / /proc rw - proc proc rw\n"
    "23 21 0:6 / /sys rw - sysfs sysfs rw\n"
    "24 21 0:7 / /dev/shm rw - tmpfs tmpfs rw\n"
    "25 21 0:8 / /run rw - tmpfs tmpfs rw\n"
    "26 21 8:2 / /srv/data rw - ext4 /dev/sda2 rw\n"
    "27 21 8:17 / /media/ann/USB\\040STICK rw - vfat /dev/sdb1 rw\n"
    "28 21 0:40 / /mnt/nas rw - nfs4 nas:/export rw\n"
    "29 21 11:0 / /media/ann/DVD rw - iso9660 /dev/sr0 ro\n"
    "30 21 0:41 / /home/ann/ram rw - tmpfs tmpfs rw\n"
    "31 21 8:1 /etc/hosts /etc/hosts rw - ext4 /dev/sda1 rw\n"
    "32 21 8:3 / /boot rw - ext4 /dev/sda3 rw\n"
    "33 21 0:42 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
    "34 21 0:43 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
    "broken line\n"
    "35 21 8:4 / /srv/data rw - ext4 /dev/sda4 rw\n";

TEST(DriveEntries, ListRootHomeThenBrowsableMountsByKind) {
    const auto entries =
        buildDriveEntries(parseMountInfo(kMountInfo), "/home/ann", message, labels);
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& entry : entries) got.emplace_back(entry.text, entry.root);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"/ ", "/"},
        {"/home/ann", "/home/ann"},
        {"/srv/data ", "/srv/data"},  // mounted again from /dev/sda4: no label known
        {"/media/ann/USB STICK<73>", "/media/ann/USB STICK"},
        {"/mnt/nas<76>", "/mnt/nas"},
        {"/media/ann/DVD<74>", "/media/ann/DVD"},
        {"/home/ann/ram<75>", "/home/ann/ram"},
        {"/run/user/1000/gvfs<76>", "/run/user/1000/gvfs"},
    };
    EXPECT_EQ(got, expected);
    EXPECT_EQ(entries[1].icon, EntryIcon::Home);
    EXPECT_EQ(entries[3].icon, EntryIcon::Removable);
}

TEST(DriveEntries, LocalDiskShowsItsLabel) {
    // A home folder mounted on its own is that drive, and keeps its place on entry 6.
    const struct {
        const char* mountPoint;
        size_t count, index;
    } cases[] = {{"/srv/data", 3, 2}, {"/home/ann", 2, 1}};
    for (const auto& c : cases) {
        const std::string line =
            std::string("26 21 8:2 / ") + c.mountPoint + " rw - ext4 /dev/sda2 rw\n";
        const auto entries = buildDriveEntries(parseMountInfo(line), "/home/ann", message, labels);
        ASSERT_EQ(entries.size(), c.count);
        EXPECT_EQ(entries[c.index].text, std::string(c.mountPoint) + " DATA");
        EXPECT_EQ(entries[c.index].icon, EntryIcon::LocalDisk);
        EXPECT_EQ(entries[c.index].root, c.mountPoint);
        EXPECT_EQ(driveRootOf(entries, std::string(c.mountPoint) + "/docs"), c.mountPoint);
    }
}

TEST(DriveEntries, OwnerRootIsTheLongestRootHoldingThePath) {
    const auto entries =
        buildDriveEntries(parseMountInfo(kMountInfo), "/home/ann", message, labels);
    EXPECT_EQ(ownerRoot(entries, "/home/ann/docs"), "/home/ann");
    EXPECT_EQ(ownerRoot(entries, "/home/ann/ram/x"), "/home/ann/ram");
    EXPECT_EQ(ownerRoot(entries, "/home/annex"), "/");
    EXPECT_TRUE(pathWithin("/a/b", "/a"));
    EXPECT_FALSE(pathWithin("/ab", "/a"));
    EXPECT_TRUE(pathWithin("/", "/"));
}

TEST(DriveEntries, OnlySlashAndMountPointsAreDriveRoots) {
    const auto entries =
        buildDriveEntries(parseMountInfo(kMountInfo), "/home/ann", message, labels);
    const std::pair<const char*, const char*> cases[] = {
        {"/home/ann", "/"},       // the home folder is a start place, not a root
        {"/home/ann/docs", "/"},  //
        {"/home/ann/ram/x", "/home/ann/ram"},
        {"/media/ann/DVD", "/media/ann/DVD"},
        {"/srv", "/"},
    };
    for (const auto& [path, root] : cases) EXPECT_EQ(driveRootOf(entries, path), root) << path;
}

class PcFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("mdk_pane_test_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "a");
        fs::create_directories(dir / "b");
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    static void write(const std::string& file, const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
    }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::path dir;
};

TEST_F(PcFiles, CopyKeepsAnExistingTargetUnlessOverwriting) {
    write(path("a/f.txt"), "new");
    write(path("b/f.txt"), "old");
    EXPECT_EQ(copyPcFile(path("a/f.txt"), path("b/f.txt"), false), CopyResult::TargetExists);
    EXPECT_EQ(read(path("b/f.txt")), "old");
    EXPECT_EQ(copyPcFile(path("a/f.txt"), path("b/f.txt"), true), CopyResult::Copied);
    EXPECT_EQ(read(path("b/f.txt")), "new");
    EXPECT_EQ(copyPcFile(path("a/f.txt"), path("b/g.txt"), false), CopyResult::Copied);
    EXPECT_EQ(read(path("b/g.txt")), "new");
    EXPECT_EQ(copyPcFile(path("a/none"), path("b/none"), false), CopyResult::Failed);
    EXPECT_EQ(copyPcFile(path("a"), path("b/dir"), false), CopyResult::Failed);
    EXPECT_FALSE(fs::exists(path("b/none")));
}

TEST_F(PcFiles, CopyOntoTheSameFileIsRefusedAndKeepsIt) {
    write(path("a/f.txt"), "precious");
    fs::create_hard_link(path("a/f.txt"), path("b/link.txt"));
    for (const std::string& target :
         {path("a/f.txt"), path("b/../a/f.txt"), path("a//f.txt"), path("b/link.txt")}) {
        EXPECT_EQ(copyPcFile(path("a/f.txt"), target, true), CopyResult::SameFile) << target;
        EXPECT_EQ(read(path("a/f.txt")), "precious");
    }
}

TEST_F(PcFiles, CopyKeepsTheLastWriteTime) {
    write(path("a/f.txt"), "x");
    const auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(path("a/f.txt"), stamp);
    ASSERT_EQ(copyPcFile(path("a/f.txt"), path("b/f.txt"), false), CopyResult::Copied);
    EXPECT_EQ(fs::last_write_time(path("b/f.txt")), stamp);
}

TEST_F(PcFiles, ListingSkipsDotAndShowsDotDotOnlyBelowTheRoot) {
    write(path("a/f.txt"), "12345");
    const auto below = readPcFolder(path("a"), true, defaultDateText);
    const auto atRoot = readPcFolder(path("a"), false, defaultDateText);
    auto names = [](const std::vector<PaneRow>& rows) {
        std::vector<std::string> out;
        for (const auto& row : rows) out.push_back(row.name + "=" + row.sizeText);
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ(names(below), (std::vector<std::string>{"..=< DIR >", "f.txt=5"}));
    EXPECT_EQ(names(atRoot), (std::vector<std::string>{"f.txt=5"}));
    EXPECT_TRUE(readPcFolder(path("missing"), true, defaultDateText).empty());
}

class Panes : public PcFiles {
protected:
    void SetUp() override {
        PcFiles::SetUp();
        drives = {{"/ ", EntryIcon::Root, "/"},
                  {path("a"), EntryIcon::Home, path("a")},
                  {path("b") + " B", EntryIcon::LocalDisk, path("b")}};
        pc.fillLocations(Side::Left, drives, "_" + path("b"));
        pc.fillLocations(Side::Right, drives, "");
    }
    MessageTable messages;
    EventLog log{messages};
    PaneSet panes;
    PcPanes pc{panes, log};
    std::vector<LocationEntry> drives;
};

TEST_F(Panes, EntriesStartWithThePhoneThenDrivesThenTheFavourite) {
    const auto entries = panes.entries(Side::Left);
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_EQ(entries[6].root, path("a"));
    EXPECT_EQ(entries[8].text, "_" + path("b"));
    // No favourite stored: the list ends with the drives, no blank entry.
    EXPECT_EQ(panes.entryCount(Side::Right), 8u);
}

TEST_F(Panes, StartPaneTakesTheSavedFolderOrFallsBack) {
    fs::create_directories(path("b/sub"));
    pc.startPane(Side::Left, 7, path("b/sub"));
    EXPECT_EQ(panes.pcPath(Side::Left), path("b/sub"));
    EXPECT_TRUE(pc.belowRoot(Side::Left));
    EXPECT_EQ(panes.rows(Side::Left).at(0).name, "..");
    pc.startPane(Side::Right, 1, "P2k:/a/mobile");  // a phone folder saved at the last exit
    EXPECT_EQ(panes.locationIndex(Side::Right), kFallbackEntry);
    EXPECT_EQ(panes.pcPath(Side::Right), path("a"));
    pc.startPane(Side::Right, 40, "");  // an entry that is gone
    EXPECT_EQ(panes.locationIndex(Side::Right), kFallbackEntry);
    pc.startPane(Side::Right, static_cast<uint32_t>(-5), "relative/path");
    EXPECT_EQ(panes.locationIndex(Side::Right), kFallbackEntry);
    EXPECT_EQ(panes.pcPath(Side::Right), path("a"));
}

TEST_F(Panes, TheHomeEntryListsDotDotAndLeadsUp) {
    pc.selectPcLocation(Side::Left, kFallbackEntry);  // entry 6, the home folder
    ASSERT_EQ(panes.pcPath(Side::Left), path("a"));
    EXPECT_TRUE(pc.belowRoot(Side::Left));
    ASSERT_FALSE(panes.rows(Side::Left).empty());
    EXPECT_EQ(panes.rows(Side::Left).at(0).name, "..");
    const Activation up = pc.activatePcRow(Side::Left, "..");
    EXPECT_EQ(up.kind, Activation::Kind::Entered);
    EXPECT_EQ(panes.pcPath(Side::Left), dir.string());
    // A mounted drive's root lists no "..", and "/" none either.
    pc.selectPcLocation(Side::Left, 7);
    EXPECT_EQ(panes.pcPath(Side::Left), path("b"));
    EXPECT_FALSE(pc.belowRoot(Side::Left));
    pc.startPane(Side::Right, 5, "/");
    EXPECT_EQ(panes.pcPath(Side::Right), "/");
    EXPECT_FALSE(pc.belowRoot(Side::Right));
    for (const auto& row : panes.rows(Side::Right)) EXPECT_NE(row.name, "..");
}

TEST_F(Panes, RemovedFolderFallsBackToEntrySix) {
    fs::create_directories(path("b/gone"));
    pc.startPane(Side::Left, 7, path("b/gone"));
    fs::remove_all(path("b/gone"));
    fs::remove_all(path("b"));
    pc.selectPcLocation(Side::Left, 7);
    EXPECT_EQ(panes.locationIndex(Side::Left), kFallbackEntry);
    EXPECT_EQ(panes.pcPath(Side::Left), path("a"));
}

TEST_F(Panes, ListenerHearsOfEntryChangesFromAnyThread) {
    struct Counter : PaneListener {
        std::atomic<int> calls{0};
        void locationsChanged(Side) override { ++calls; }
    } counter;
    panes.setListener(&counter);
    std::thread attach([&] { panes.setPhoneEntryTexts({"/a", "/b", "/c", "/e", "Seems"}); });
    attach.join();
    EXPECT_EQ(counter.calls.load(), 2);
    EXPECT_EQ(panes.entries(Side::Right)[3].text, "/e");
    panes.setStartupPhoneTexts({"1", "2", "3", "4", "5"});
    panes.setPhoneEntryTexts({"/a", "/b", "/c", "/e", "Seems"});
    panes.resetPhoneEntries();
    EXPECT_EQ(panes.entries(Side::Left)[0].text, "1");
    panes.setListener(nullptr);
}

TEST_F(Panes, DeletingAFavouriteKeepsOtherPanesOnTheirEntries) {
    ConfigRecord config;
    config.favouriteFolder = "_" + path("b");
    panes.setLocationIndex(Side::Right, 8);
    EXPECT_TRUE(pc.deleteFavourite(config));
    EXPECT_EQ(config.favouriteFolder, "");
    EXPECT_EQ(panes.entryCount(Side::Left), 8u);
    EXPECT_EQ(panes.locationIndex(Side::Right), kFallbackEntry);
    EXPECT_FALSE(pc.deleteFavourite(config));
}

}  // namespace
}  // namespace mdk
