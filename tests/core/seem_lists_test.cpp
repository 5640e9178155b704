#include "seem/seem_lists.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "base/prompter.h"
#include "case_names.h"

namespace mdk {
namespace {

using test::caseName;

namespace fs = std::filesystem;
using namespace std::string_literals;

struct ListCase {
    const char* what;
    std::string bytes;
    std::vector<std::string> expected;
};

// The case as the test list and failure messages show it.
void PrintTo(const ListCase& c, std::ostream* out) {
    *out << c.what;
}

class ListFileRule : public testing::TestWithParam<ListCase> {};

TEST_P(ListFileRule, YieldsTheEntries) {
    EXPECT_EQ(parseListFile(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListFileRule,
    testing::Values(
        ListCase{"comment and empty line", "0001\n# note\n0002\n\n0003\n", {"0001", "0002"}},
        ListCase{"cr lf line ends", "0001\r\n0002\r\n", {"0001", "0002"}},
        ListCase{"bare lf line ends", "0001\n0002\n", {"0001", "0002"}},
        ListCase{"last line without lf", "0001\n0002", {"0001", "0002"}},
        ListCase{"no lf at all", "0001", {}}, ListCase{"empty file", "", {}},
        ListCase{"empty first line", "\n0001\n", {}},
        ListCase{"cr inside a line dropped", "00\r32\n", {"0032"}},
        ListCase{"cr only line ends the list", "0001\n\r\n0002\n", {"0001"}},
        ListCase{"hash only at line start is a comment", "a#b\n#\nc\n", {"a#b", "c"}},
        ListCase{"zero byte ends a line", "ab\0cd\nef\n"s, {"ab", "cd", "ef"}},
        ListCase{"zero byte after lf ends the list", "ab\n\0cd\n"s, {"ab"}}),
    [](const testing::TestParamInfo<ListCase>& info) { return caseName(info.param.what); });

class SeemListsFiles : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "mdk-seemlists-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    void write(const char* name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << text;
    }

    fs::path folder;
    SeemLists lists;
    ScriptedPrompter prompter;
};

TEST_F(SeemListsFiles, LoadsSeemsAndCategories) {
    write("Seem.lst", "# known seems\r\n0004\r\n0032\r\n0117\r\n");
    write("SeemCategories.lst", "Boot\nBoot\n# comment\nSetup\nSetup\nSetup\n");
    EXPECT_EQ(lists.loadSeemList(folder.string(), prompter), 0);
    EXPECT_EQ(lists.loadSeemCategories(folder.string(), prompter), 0);
    EXPECT_TRUE(prompter.shown().empty());

    ASSERT_EQ(lists.seemCount(), 3u);
    EXPECT_EQ(lists.seemEntry(0), "0004");
    EXPECT_EQ(lists.seemEntry(2), "0117");
    EXPECT_EQ(lists.seemEntry(3), "");
    EXPECT_EQ(lists.category(0), "Boot");
    EXPECT_EQ(lists.category(2), "Setup");  // the comment takes no seem number
    EXPECT_EQ(lists.category(4), "Setup");
    EXPECT_EQ(lists.category(5), "");  // no entry: empty category
    EXPECT_EQ(lists.category(0xFFFFFFFFu), "");
}

TEST_F(SeemListsFiles, MissingFilesWarnAndKeepThePreviousTables) {
    write("Seem.lst", "0032\n");
    write("SeemCategories.lst", "Boot\n");
    ASSERT_EQ(lists.loadSeemList(folder.string(), prompter), 0);
    ASSERT_EQ(lists.loadSeemCategories(folder.string(), prompter), 0);
    fs::remove(folder / "Seem.lst");
    fs::remove(folder / "SeemCategories.lst");

    EXPECT_EQ(lists.loadSeemList(folder.string(), prompter), -1);
    EXPECT_EQ(lists.loadSeemCategories(folder.string(), prompter), -1);
    const std::vector<Prompt> shown = prompter.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title, "Warning");
    EXPECT_EQ(shown[0].text, "Seem list file not found");
    EXPECT_EQ(shown[0].buttons, PromptButtons::Ok);
    EXPECT_EQ(shown[1].title, "Warning");
    EXPECT_EQ(shown[1].text, "Seem categories file not found");
    EXPECT_EQ(lists.seemEntry(0), "0032");
    EXPECT_EQ(lists.category(0), "Boot");
}

TEST_F(SeemListsFiles, AFolderOfThatNameCountsAsMissing) {
    fs::create_directory(folder / "Seem.lst");
    EXPECT_EQ(lists.loadSeemList(folder.string(), prompter), -1);
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(lists.seemCount(), 0u);
}

TEST_F(SeemListsFiles, LoadingAgainReplacesTheList) {
    write("Seem.lst", "0001\n0002\n0003\n");
    ASSERT_EQ(lists.loadSeemList(folder.string(), prompter), 0);
    write("Seem.lst", "0032\n");
    ASSERT_EQ(lists.loadSeemList(folder.string(), prompter), 0);
    EXPECT_EQ(lists.seemCount(), 1u);
    EXPECT_EQ(lists.seemEntry(0), "0032");
    EXPECT_EQ(lists.seemEntry(1), "");
}

fs::path resourcesFolder() {
    if (const char* source = std::getenv("MDK_SOURCE_DIR")) return fs::path(source) / "resources";
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "resources";
}

bool isFourHexDigits(const std::string& text) {
    return text.size() == 4 && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

TEST(ShippedLists, SeemListHoldsFourDigitSeemNumbers) {
    std::vector<std::string> seems;
    ASSERT_TRUE(readListFile((resourcesFolder() / "Seem.lst").string(), seems));
    ASSERT_FALSE(seems.empty());
    for (const std::string& seem : seems) {
        EXPECT_TRUE(isFourHexDigits(seem)) << seem;
        // Uploads accept seems 0001 to 02FE only.
        const unsigned long number = std::stoul(seem, nullptr, 16);
        EXPECT_GT(number, 0u);
        EXPECT_LT(number, 0x2FFu);
    }
}

TEST(ShippedLists, EveryListedSeemHasACategory) {
    std::vector<std::string> seems;
    std::vector<std::string> categories;
    ASSERT_TRUE(readListFile((resourcesFolder() / "Seem.lst").string(), seems));
    ASSERT_TRUE(readListFile((resourcesFolder() / "SeemCategories.lst").string(), categories));
    // One entry per seem number up to the highest one an upload accepts.
    EXPECT_EQ(categories.size(), 0x2FFu);
    for (const std::string& seem : seems) {
        const unsigned long number = std::stoul(seem, nullptr, 16);
        ASSERT_LT(number, categories.size()) << seem;
    }
}

TEST(ShippedLists, HiddenFilesAreFullPhonePaths) {
    std::vector<std::string> paths;
    ASSERT_TRUE(readListFile((resourcesFolder() / "Hidden_files.lst").string(), paths));
    ASSERT_FALSE(paths.empty());
    for (const std::string& path : paths) {
        EXPECT_EQ(path.front(), '/') << path;
        EXPECT_EQ(path.find('\\'), std::string::npos) << path;
    }
}

}  // namespace
}  // namespace mdk
