#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/program_files.h"

namespace fs = std::filesystem;
using mdk::ProgramFiles;

namespace {

class ProgramFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("mdk-files-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "portable");
        std::ofstream(root / "portable/Messages.lng") << "x\n";
        fs::create_directories(root / "usr/bin");
    }
    void TearDown() override { fs::remove_all(root); }

    ProgramFiles installed(std::map<std::string, std::string> vars) {
        return ProgramFiles::locate((root / "usr/bin").string(),
                                    [vars](const std::string& n) -> std::optional<std::string> {
                                        auto it = vars.find(n);
                                        if (it == vars.end()) return std::nullopt;
                                        return it->second;
                                    });
    }
    fs::path root;
};

}  // namespace

TEST_F(ProgramFilesTest, APortableFolderKeepsEveryFileBesideTheProgram) {
    const auto files = ProgramFiles::locate((root / "portable").string(),
                                            [](const std::string&) { return std::nullopt; });
    EXPECT_TRUE(files.portable());
    const std::string folder = (root / "portable").string();
    for (const char* name : {"Messages.lng", ".config", ".log", "Temp", "Seem.lst", "SOURCEFILES",
                             "Templates/_.jpg", "xvi32"}) {
        EXPECT_EQ(files.pathOf(name), folder + "/" + name) << name;
        EXPECT_EQ(files.writablePathOf(name), folder + "/" + name) << name;
    }
}

TEST_F(ProgramFilesTest, AnInstalledProgramSplitsDataSettingsStateAndCache) {
    const auto files = installed({{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", "/cfg"}});
    EXPECT_FALSE(files.portable());
    const std::string share = (root / "usr/share/marrowdeck").string();
    const std::string bin = (root / "usr/bin").string();
    struct Case {
        const char* name;
        std::string read;
    };
    const Case cases[] = {
        {"Messages.lng", share + "/Messages.lng"},
        {"SeemFunctionsP2k05.csv", share + "/SeemFunctionsP2k05.csv"},
        {"Hidden_files.lst", share + "/Hidden_files.lst"},
        {"Templates/_.jpg", share + "/Templates/_.jpg"},
        {"Seem.lst", share + "/Seem.lst"},
        {".config", "/cfg/marrowdeck/.config"},
        {".linux-settings", "/cfg/marrowdeck/.linux-settings"},
        {".log", "/home/u/.local/state/marrowdeck/.log"},
        {"Received_filelist.raw", "/home/u/.local/state/marrowdeck/Received_filelist.raw"},
        {"Temp", "/home/u/.cache/marrowdeck/Temp"},
        {"SOURCEFILES", "/home/u/.cache/marrowdeck/SOURCEFILES"},
        {"IPREPORT", "/home/u/.cache/marrowdeck/IPREPORT"},
        {"ACTIP", "/home/u/.cache/marrowdeck/ACTIP"},
        {"xvi32", bin + "/xvi32"},
    };
    for (const auto& c : cases) EXPECT_EQ(files.pathOf(c.name), c.read) << c.name;
}

TEST_F(ProgramFilesTest, NothingIsEverWrittenBelowThePrefix) {
    const auto files = installed({{"HOME", "/home/u"}});
    const std::string prefix = root.string();
    for (const char* name : {"Messages.lng", "Seem.lst", "SeemCategories.lst", ".config", ".log",
                             "Temp", "SOURCEFILES", "Templates/D"}) {
        EXPECT_NE(files.writablePathOf(name).rfind(prefix, 0), 0u) << name;
    }
    EXPECT_EQ(files.writablePathOf("Seem.lst"), "/home/u/.config/marrowdeck/Seem.lst");
}

TEST_F(ProgramFilesTest, ARewrittenSeemListIsReadFromTheSettingsFolder) {
    const auto cfg = root / "cfg";
    const auto files = installed({{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", cfg.string()}});
    EXPECT_EQ(files.pathOf("Seem.lst"), (root / "usr/share/marrowdeck/Seem.lst").string());
    fs::create_directories(cfg / "marrowdeck");
    std::ofstream(cfg / "marrowdeck/Seem.lst") << "0032\r\n";
    EXPECT_EQ(files.pathOf("Seem.lst"), (cfg / "marrowdeck/Seem.lst").string());
}

TEST_F(ProgramFilesTest, RelativeOrEmptyXdgVariablesFallBackToHome) {
    const auto files =
        installed({{"HOME", "/home/u"}, {"XDG_CACHE_HOME", "relative"}, {"XDG_STATE_HOME", ""}});
    EXPECT_EQ(files.cacheFolder(), "/home/u/.cache/marrowdeck");
    EXPECT_EQ(files.stateFolder(), "/home/u/.local/state/marrowdeck");
}
