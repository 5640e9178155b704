#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "base/event_log.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "case_names.h"

namespace mdk {
namespace {

using test::caseName;

namespace fs = std::filesystem;

struct ParseCase {
    const char* what;
    std::string bytes;
    std::vector<std::string> expected;
};

// The case as the test list and failure messages show it.
void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << c.what;
}

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
    testing::Values(ParseCase{"comment first then cr lf",
                              "# comment\r\nfirst\r\nsecond\r\n",
                              {"first", "second"}},
                    ParseCase{"empty third line ends table", "one\ntwo\n\nthree\n", {"one", "two"}},
                    ParseCase{"last line without line end", "one\ntwo", {"one", "two"}},
                    ParseCase{"no line feed at all", "just one line", {}},
                    ParseCase{"empty file", "", {}},
                    ParseCase{"empty first line", "\none\ntwo\n", {}},
                    ParseCase{"cr anywhere dropped", "a\rb\r\r\nc\n", {"ab", "c"}},
                    ParseCase{"cr only line is empty", "a\n\r\nb\n", {"a"}},
                    ParseCase{"comments take no number", "a\n#x\n# y\nb\n#z", {"a", "b"}},
                    ParseCase{"only comments", "#a\n#b\n", {}},
                    ParseCase{"leading spaces kept", "  indented \n", {"  indented "}},
                    ParseCase{"zero byte ends text", "a\nb\0c\nd\n"s, {"a", "b"}},
                    ParseCase{"zero byte before any line feed", "a\0b\nc\n"s, {}}),
    [](const testing::TestParamInfo<ParseCase>& info) { return caseName(info.param.what); });

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
