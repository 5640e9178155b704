// The desktop's file associations and the companion's autostart entry, written into
// temporary XDG folders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>

#include <filesystem>
#include <fstream>

#include "base/clock.h"
#include "device_test_support.h"
#include "platform/companion.h"
#include "platform/file_associations.h"
#include "platform/process_runner.h"

namespace mdk::test {
namespace {

namespace fs = std::filesystem;

struct Associations : ::testing::Test {
    TempFolder root;
    FakeCommandRunner runner;
    XdgFolders folders{root.path() + "/data",
                       root.path() + "/config",
                       {root.path() + "/usr/local/share", root.path() + "/usr/share"}};
    FileAssociations associations{folders, runner};
    const std::vector<uint8_t> icon{0x89, 'P', 'N', 'G'};

    AssociationResult write(const std::string& program = "/opt/mdk/bin/marrowdeck") {
        return associations.write(program, icon);
    }
    static std::string read(const std::string& path) { return readText(path); }
    void installEntry(const std::string& folder, const std::string& name, const std::string& text) {
        fs::create_directories(folder + "/applications");
        std::ofstream(folder + "/applications/" + name) << text;
    }
};

TEST_F(Associations, WritesMimePackageIconAndDesktopEntryWithTheFileArgument) {
    EXPECT_EQ(write(), AssociationResult::Written);
    const std::string entry = read(folders.dataHome + "/applications/marrowdeck.desktop");
    EXPECT_NE(entry.find("Exec=\"/opt/mdk/bin/marrowdeck\" %f\n"), std::string::npos);
    EXPECT_NE(entry.find("MimeType=application/x-marrowdeck-package;application/x-skin4moto;\n"),
              std::string::npos);
    const std::string mime = read(folders.dataHome + "/mime/packages/marrowdeck.xml");
    EXPECT_NE(mime.find("<glob pattern=\"*.mrdk\"/>"), std::string::npos);
    EXPECT_NE(mime.find("<glob pattern=\"*.s4m\"/>"), std::string::npos);
    EXPECT_NE(mime.find("<icon name=\"marrowdeck\"/>"), std::string::npos);
    EXPECT_EQ(read(folders.dataHome + "/icons/hicolor/48x48/apps/marrowdeck.png"), "\x89PNG");
    // Both databases are refreshed where their tools exist.
    ASSERT_EQ(runner.started().size(), 2u);
    EXPECT_NE(runner.started()[0].find("update-mime-database '" + folders.dataHome + "/mime'"),
              std::string::npos);
    EXPECT_NE(runner.started()[1].find("update-desktop-database"), std::string::npos);
}

TEST_F(Associations, ASecondStartWithNothingChangedRunsNoTools) {
    write();
    write();
    EXPECT_EQ(runner.started().size(), 2u);
    write("/elsewhere/marrowdeck");  // the program moved: the entry follows it
    EXPECT_EQ(runner.started().size(), 3u);
    EXPECT_NE(read(associations.desktopEntryPath()).find("Exec=\"/elsewhere/marrowdeck\" %f"),
              std::string::npos);
}

TEST_F(Associations, ProgramPathsWithReservedCharactersAreQuotedForTheEntry) {
    write("/home/a b/$x/100%/q\"t/back\\slash/marrowdeck");
    EXPECT_NE(read(associations.desktopEntryPath())
                  .find("Exec=\"/home/a b/\\\\$x/100%%/q\\\\\"t/back\\\\\\\\slash/marrowdeck\" %f"),
              std::string::npos);
    EXPECT_EQ(write("/home/new\nline/marrowdeck"), AssociationResult::Failed);
    EXPECT_EQ(write("relative/marrowdeck"), AssociationResult::Failed);
}

TEST_F(Associations, AnotherApplicationClaimingSkinPacksKeepsThemAway) {
    installEntry(folders.dataDirs[1], "skinner4moto.desktop",
                 "[Desktop Entry]\nName=skinner\nMimeType=text/plain;application/x-skin4moto;\n");
    write();
    EXPECT_EQ(read(associations.mimePackagePath()).find("s4m"), std::string::npos);
    EXPECT_NE(
        read(associations.desktopEntryPath()).find("MimeType=application/x-marrowdeck-package;\n"),
        std::string::npos);
}

TEST_F(Associations, AnInstalledPackageEntryMeansNothingIsWrittenAndOldEntriesGo) {
    write();
    installEntry(folders.dataDirs[1], "marrowdeck.desktop", "[Desktop Entry]\nName=Marrowdeck\n");
    EXPECT_EQ(write(), AssociationResult::Installed);
    EXPECT_FALSE(fs::exists(associations.desktopEntryPath()));
    EXPECT_FALSE(fs::exists(associations.mimePackagePath()));
}

TEST_F(Associations, AUserEntryNotWrittenByTheProgramIsLeftAlone) {
    installEntry(folders.dataHome, "marrowdeck.desktop", "[Desktop Entry]\nName=Mine\n");
    installEntry(folders.dataDirs[0], "marrowdeck.desktop", "[Desktop Entry]\nName=Marrowdeck\n");
    EXPECT_EQ(write(), AssociationResult::Installed);
    EXPECT_EQ(read(associations.desktopEntryPath()), "[Desktop Entry]\nName=Mine\n");
}

TEST_F(Associations, AnUnwritableDataFolderFailsSilently) {
    fs::create_directories(root.path());
    std::ofstream(root.path() + "/data") << "a file where the folder should be";
    EXPECT_EQ(write(), AssociationResult::Failed);
}

TEST(XdgFoldersTest, EnvironmentWithFallbacks) {
    auto env = [](std::map<std::string, std::string> values) {
        return [values](const char* name) -> const char* {
            auto found = values.find(name);
            return found == values.end() ? nullptr : found->second.c_str();
        };
    };
    const XdgFolders defaults = XdgFolders::fromEnvironment(env({{"HOME", "/home/u"}}));
    EXPECT_EQ(defaults.dataHome, "/home/u/.local/share");
    EXPECT_EQ(defaults.configHome, "/home/u/.config");
    EXPECT_EQ(defaults.dataDirs, (std::vector<std::string>{"/usr/local/share", "/usr/share"}));
    const XdgFolders set = XdgFolders::fromEnvironment(env({{"HOME", "/home/u"},
                                                            {"XDG_DATA_HOME", "/d"},
                                                            {"XDG_CONFIG_HOME", "relative"},
                                                            {"XDG_DATA_DIRS", "/a::rel:/b"}}));
    EXPECT_EQ(set.dataHome, "/d");
    EXPECT_EQ(set.configHome, "/home/u/.config");
    EXPECT_EQ(set.dataDirs, (std::vector<std::string>{"/a", "/b"}));
}

// Notes at each sleep whether the stop signal exists.
class SignalCheckingClock final : public Clock {
public:
    explicit SignalCheckingClock(std::string name) : name_(std::move(name)) {}
    uint64_t nowMs() override { return now_; }
    void sleepMs(uint32_t ms) override {
        sem_t* seen = ::sem_open(name_.c_str(), 0);
        signalledWhileSleeping = seen != SEM_FAILED;
        if (seen != SEM_FAILED) ::sem_close(seen);
        now_ += ms;
    }
    bool signalledWhileSleeping = false;

private:
    std::string name_;
    uint64_t now_ = 0;
};

struct Companion : ::testing::Test {
    TempFolder root;
    FakeCommandRunner runner;
    std::string semaphore = "/mdk-test-kill-" + std::to_string(::getpid());
    SignalCheckingClock clock{semaphore};
    XdgCompanion companion{XdgFolders{root.path() + "/data", root.path() + "/config", {}}, runner,
                           clock, semaphore};
};

TEST_F(Companion, OnWritesTheAutostartEntryAndStartsTheProgramDirectly) {
    companion.enableAutostart("/opt/mdk");
    const std::string entry = readText(root.path() + "/config/autostart/Tidewatch.desktop");
    EXPECT_NE(entry.find("Exec=\"/opt/mdk/Tidewatch\"\n"), std::string::npos);
    EXPECT_EQ(runner.started(), (std::vector<std::string>{"'/opt/mdk/Tidewatch'"}));
}

TEST_F(Companion, OffRemovesTheEntryAndHoldsTheStopSignalFor300Ms) {
    companion.enableAutostart("/opt/mdk");
    const uint64_t before = clock.nowMs();
    companion.disableAutostart();
    EXPECT_FALSE(fs::exists(root.path() + "/config/autostart/Tidewatch.desktop"));
    EXPECT_EQ(clock.nowMs() - before, 300u);
    EXPECT_TRUE(clock.signalledWhileSleeping);
    // The semaphore is gone again afterwards.
    EXPECT_EQ(::sem_open(semaphore.c_str(), 0), SEM_FAILED);
}

}  // namespace
}  // namespace mdk::test
