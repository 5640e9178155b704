#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/event_log.h"
#include "base/messages.h"
#include "base/prompter.h"

namespace mdk {
namespace {

namespace fs = std::filesystem;

struct ParseCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> expected;
};

class MessageParse : public testing::TestWithParam<ParseCase> {};

TEST_P(MessageParse, NumbersTheNonCommentLines) {
    MessageTable table;
    table.parse(GetParam().bytes);
    std::vector<std::string> got;
    for (size_t i = 0; i < table.size(); ++i) got.emplace_back(table.text(static_cast<int>(i)));
    EXPECT_EQ(got, GetParam().expected);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, MessageParse,
    testing::Values(
        ParseCase{"CommentFirstThenCrLf", "# comment\r\nfirst\r\nsecond\r\n", {"first", "second"}},
        ParseCase{"EmptyThirdLineEndsTable", "one\ntwo\n\nthree\n", {"one", "two"}},
        ParseCase{"LastLineWithoutLineEnd", "one\ntwo", {"one", "two"}},
        ParseCase{"NoLineFeedAtAll", "just one line", {}}, ParseCase{"EmptyFile", "", {}},
        ParseCase{"EmptyFirstLine", "\none\ntwo\n", {}},
        ParseCase{"CrAnywhereDropped", "a\rb\r\r\nc\n", {"ab", "c"}},
        ParseCase{"CrOnlyLineIsEmpty", "a\n\r\nb\n", {"a"}},
        ParseCase{"CommentsTakeNoNumber", "a\n#x\n# y\nb\n#z", {"a", "b"}},
        ParseCase{"OnlyComments", "#a\n#b\n", {}},
        ParseCase{"LeadingSpacesKept", "  indented \n", {"  indented "}},
        ParseCase{"ZeroByteEndsText", "a\nb\0c\nd\n"s, {"a", "b"}},
        ParseCase{"ZeroByteBeforeAnyLineFeed", "a\0b\nc\n"s, {}}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(MessageTable, LookupOutsideTheTableIsEmpty) {
    MessageTable table;
    table.parse("zero\none\n");
    EXPECT_EQ(table.text(0), "zero");
    EXPECT_EQ(table.text(1), "one");
    EXPECT_EQ(table.text(2), "");
    EXPECT_EQ(table.text(1000), "");
    EXPECT_EQ(table.text(-1), "");
}

TEST(MessageTable, ParsingAgainReplacesTheTable) {
    MessageTable table;
    table.parse("a\nb\nc\n");
    table.parse("x\n");
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(table.text(0), "x");
    EXPECT_EQ(table.text(1), "");
}

class RecordingView : public LogView {
public:
    void appendLine(const std::string& text) override { lines.push_back(text); }
    void replaceLastLine(const std::string& text) override { lines.back() = text; }
    std::vector<std::string> lines;
};

class LoadMessages : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "mdk-messages-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        log.setView(&view);
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path folder;
    MessageTable table;
    EventLog log{table};
    RecordingView view;
    ScriptedPrompter prompter;
};

TEST_F(LoadMessages, MissingFileWarnsAndFails) {
    table.parse("old\n");
    EXPECT_EQ(loadMessages(table, folder.string(), log, prompter), -1);
    ASSERT_EQ(prompter.shown().size(), 1u);
    const Prompt prompt = prompter.shown()[0];
    EXPECT_EQ(prompt.title, "Warning");
    EXPECT_EQ(prompt.text, "Message file not found Will exit now.");
    EXPECT_EQ(prompt.buttons, PromptButtons::Ok);
    // The path it looked for went to the log first.
    ASSERT_FALSE(view.lines.empty());
    EXPECT_EQ(view.lines.front(), (folder / "Messages.lng").string());
}

TEST_F(LoadMessages, LoadsTheFileOfTheProgramFolder) {
    std::ofstream(folder / "Messages.lng", std::ios::binary) << "# texts\r\nHello\r\nWorld\r\n";
    EXPECT_EQ(loadMessages(table, folder.string(), log, prompter), 0);
    EXPECT_TRUE(prompter.shown().empty());
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.text(0), "Hello");
    EXPECT_EQ(table.text(1), "World");
    EXPECT_EQ(view.lines, std::vector<std::string>{(folder / "Messages.lng").string()});
}

TEST_F(LoadMessages, FileWithoutLineFeedGivesAnEmptyTable) {
    std::ofstream(folder / "Messages.lng", std::ios::binary) << "single line";
    EXPECT_EQ(loadMessages(table, folder.string(), log, prompter), 0);
    EXPECT_EQ(table.size(), 0u);
    EXPECT_EQ(table.text(0), "");
}

}  // namespace
}  // namespace mdk
