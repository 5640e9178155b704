// Batch package text: splitting into lines, command lines, the package folder, the dialog's
// list header, PC names kept inside the package folder, and the seem arguments.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "batch/batch_engine.h"
#include "batch/package_file.h"

namespace mdk::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

TEST(PackageLines, CrEndsALineAndTheByteAfterItIsDropped) {
    struct Case {
        std::string text;
        Lines lines;
    };
    const Case cases[] = {
        {"cp a\r\nto /a/b\r\n", {"cp a", "to /a/b"}},
        {"cp a\r\n\r\nto /a/b\r\n", {"cp a"}},        // the first empty line ends it
        {"cp a\nto /a/b\n", {}},                      // bare LF: no lines at all
        {"no carriage return", {}},                   // no CR: no lines
        {"cp a\r\nto /a/b", {"cp a"}},                // text after the last CR is dropped
        {"cp a\rXto /a/b\r\n", {"cp a", "to /a/b"}},  // any byte after CR is dropped
        {"  padded  \r\n", {"  padded  "}},           // lines are not trimmed
        {"last\r", {"last"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(splitPackageLines(c.text), c.lines);
    }
}

TEST(PackageLines, CommandsAreTwoCaseSensitiveCharactersAndABlank) {
    struct Case {
        std::string line;
        bool command;
        std::string code;
        std::string argument;
    };
    const Case cases[] = {
        {"cp skin.bmp", true, "cp", "skin.bmp"},
        {"to /a/mobile/skins/skin.bmp", true, "to", "/a/mobile/skins/skin.bmp"},
        {"## copy a.txt b.txt", true, "##", "copy a.txt b.txt"},
        {"ss 0032 0001 000A 3", true, "ss", "0032 0001 000A 3"},
        {"cp skins\\night\\sky.bmp", true, "cp", "skins/night/sky.bmp"},
        {"df \\a\\mobile\\x.jpg", true, "df", "/a/mobile/x.jpg"},
        {"to \\a\\x.bmp", true, "to", "/a/x.bmp"},
        {"md \\a\\new", true, "md", "/a/new"},
        {"rd \\a\\old", true, "rd", "/a/old"},
        {"rm \\a\\x.bmp", true, "rm", "/a/x.bmp"},
        {"sa \\a\\x.bmp", true, "sa", "/a/x.bmp"},
        // A shell command keeps its backslashes: they escape characters for the shell.
        {"## printf 'a\\tb\\n' > out.txt", true, "##", "printf 'a\\tb\\n' > out.txt"},
        {"## echo \\$HOME", true, "##", "echo \\$HOME"},
        {"at ", true, "at", ""},
        {"CP x", false, "", ""},
        {"cp\tx", false, "", ""},
        {"cpx", false, "", ""},
        {"cp", false, "", ""},
        {"xx y", false, "", ""},
        {"; a comment", false, "", ""},
        {" cp x", false, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto command = parsePackageCommand(c.line);
        ASSERT_EQ(command.has_value(), c.command);
        if (!command) continue;
        EXPECT_EQ(command->code, c.code);
        EXPECT_EQ(command->argument, c.argument);
    }
}

TEST(PackageLines, FolderIsThePathUpToItsLastSlash) {
    EXPECT_EQ(packageFolder("/home/u/skins/night.mrdk"), "/home/u/skins");
    EXPECT_EQ(packageFolder("/night.mrdk"), "/");
    EXPECT_EQ(packageFolder("/home/u\\skins\\night.mrdk"), "/home/u/skins");
    EXPECT_EQ(packageFolder("night.mrdk"), fs::current_path().string());
    EXPECT_EQ(packageFolder("sub/night.mrdk"), (fs::current_path() / "sub").string());
}

TEST(PackageLines, ListHeaderWaitsForTheUsblanLinkOnlyWhenAsked) {
    EXPECT_EQ(packageListHeader("/p/x.mrdk", false), (Lines{"/p/x.mrdk", kPackageSeparator}));
    const Lines waiting = packageListHeader("/p/x.mrdk", true);
    ASSERT_EQ(waiting.size(), 4u);
    EXPECT_EQ(waiting[2], "Please wait until connection established.(Phone beeps.)");
    EXPECT_EQ(waiting[3], "----------------------");
    // The wait lines are no commands: running from line 2 on skips them.
    EXPECT_FALSE(parsePackageCommand(waiting[2]));
    EXPECT_FALSE(parsePackageCommand(waiting[3]));
}

TEST(PackageLines, MissingPackageHasNoLines) {
    EXPECT_FALSE(readPackageFile("/nonexistent/folder/x.mrdk"));
}

class PackageFolderNames : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "mdk-pkg-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        folder = root / "pack";
        fs::create_directories(folder / "sub");
        std::ofstream(folder / "skin.bmp") << "x";
        std::ofstream(root / "secret.txt") << "private";
        fs::create_symlink(root / "secret.txt", folder / "link.txt");
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
    fs::path folder;
};

TEST_F(PackageFolderNames, NamesThatLeaveThePackageFolderAreRefused) {
    const std::string base = folder.string();
    EXPECT_EQ(packageFilePath(base, "skin.bmp"), (folder / "skin.bmp").string());
    EXPECT_EQ(packageFilePath(base, "sub/../skin.bmp"), (folder / "skin.bmp").string());
    EXPECT_EQ(packageFilePath(base, (folder / "skin.bmp").string()),
              (folder / "skin.bmp").string());
    EXPECT_FALSE(packageFilePath(base, "../secret.txt"));
    EXPECT_FALSE(packageFilePath(base, "sub/../../secret.txt"));
    EXPECT_FALSE(packageFilePath(base, (root / "secret.txt").string()));
    EXPECT_FALSE(packageFilePath(base, "/etc/passwd"));
    EXPECT_FALSE(packageFilePath(base, "link.txt"));  // a link to a file outside
    EXPECT_FALSE(packageFilePath(base, ""));
    EXPECT_FALSE(packageFilePath(base, "."));
}

TEST(SeemArguments, SaveLinesTakeFourDigitsForEachNumber) {
    using Pair = std::pair<std::string, std::string>;
    EXPECT_EQ(parseSeemSaveArgument("0032 0001"), (Pair{"0032", "0001"}));
    EXPECT_EQ(parseSeemSaveArgument("0032_00fe"), (Pair{"0032", "00fe"}));
    for (const char* bad : {"32 1", "0032 1", "0032 0001 x", "../../ 0001", "00G2 0001", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parseSeemSaveArgument(bad));
    }
}

}  // namespace
}  // namespace mdk::test
