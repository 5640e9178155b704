#include "base/event_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/messages.h"

namespace mdk {
namespace {

namespace fs = std::filesystem;

class RecordingView : public LogView {
public:
    void appendLine(const std::string& text) override {
        std::lock_guard lock(mutex);
        lines.push_back(text);
    }
    void replaceLastLine(const std::string& text) override {
        std::lock_guard lock(mutex);
        if (lines.empty())
            lines.push_back(text);
        else
            lines.back() = text;
    }
    std::mutex mutex;
    std::vector<std::string> lines;
};

class EventLogTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "mdk-log-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        messages.parse("zero\none\nTwo: \n");
        log.setView(&view);
        log.setFilePath((folder / ".log").string());
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string fileText() const {
        std::ifstream in(folder / ".log", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path folder;
    MessageTable messages;
    EventLog log{messages};
    RecordingView view;
};

TEST_F(EventLogTest, FileGetsLinesOnlyWhileItExists) {
    log.deleteFile();
    log.logLine("before the file");
    EXPECT_FALSE(fs::exists(folder / ".log"));
    log.createFile();
    log.logLine("first");
    log.logMessage(2, "suffix");
    EXPECT_EQ(fileText(), "first\r\nTwo: suffix\r\n");
    log.deleteFile();
    log.logLine("after");
    EXPECT_FALSE(fs::exists(folder / ".log"));
    EXPECT_EQ(view.lines,
              (std::vector<std::string>{"before the file", "first", "Two: suffix", "after"}));
}

TEST_F(EventLogTest, CreatingTheFileStartsItEmpty) {
    std::ofstream(folder / ".log") << "from the last run\r\n";
    log.createFile();
    EXPECT_EQ(fileText(), "");
    log.logLine("new run");
    EXPECT_EQ(fileText(), "new run\r\n");
}

TEST_F(EventLogTest, QuietWithoutPacketsDropsEverything) {
    log.createFile();
    log.setQuiet(true);
    log.logLine("transport error");
    log.logMessage(1);
    log.replaceLogLine("progress");
    log.traceWords(reinterpret_cast<const uint8_t*>("abcd"), 1);
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(fileText(), "");
}

TEST_F(EventLogTest, QuietWithPacketsLogsEverything) {
    log.createFile();
    log.setQuiet(true);
    log.setPackets(true);
    log.logLine("transport error");
    log.logMessage(1, "!");
    EXPECT_EQ(view.lines, (std::vector<std::string>{"transport error", "one!"}));
    EXPECT_EQ(fileText(), "transport error\r\none!\r\n");
}

TEST_F(EventLogTest, QuietLogRestoresThePreviousState) {
    {
        QuietLog quiet(log);
        log.logLine("dropped");
    }
    log.logLine("kept");
    EXPECT_EQ(view.lines, std::vector<std::string>{"kept"});
    EXPECT_FALSE(log.quiet());
}

TEST_F(EventLogTest, ReplaceChangesTheLastLineAndLeavesTheFile) {
    log.createFile();
    log.logLine("header");
    log.logLine("12 files");
    log.replaceLogLine("/a/mobile/picture.jpg");
    log.replaceLogLine("12 files listed");
    EXPECT_EQ(view.lines, (std::vector<std::string>{"header", "12 files listed"}));
    EXPECT_EQ(fileText(), "header\r\n12 files\r\n");
}

TEST_F(EventLogTest, MessageNumberPastTheTableIsEmpty) {
    log.logMessage(99, "tail");
    EXPECT_EQ(view.lines, std::vector<std::string>{"tail"});
}

TEST_F(EventLogTest, LinesFromManyThreadsStayWhole) {
    log.createFile();
    const std::string a(100, 'a');
    const std::string b(100, 'b');
    auto writer = [&](const std::string& line) {
        for (int i = 0; i < 200; ++i) log.logLine(line);
    };
    std::thread first(writer, a);
    std::thread second(writer, b);
    first.join();
    second.join();
    const std::string text = fileText();
    size_t lines = 0;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = text.substr(start, end - start);
        ASSERT_TRUE(line == a || line == b) << line;
        ++lines;
    }
    EXPECT_EQ(start, text.size());
    EXPECT_EQ(lines, 400u);
    EXPECT_EQ(view.lines.size(), 400u);
}

TEST(PacketTrace, TraceWordsRunsTheDigitsTogether) {
    const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(EventLog::traceWordsText(bytes, 1), "01020304H");
    uint8_t frame[36];
    for (size_t i = 0; i < sizeof frame; ++i) frame[i] = static_cast<uint8_t>(0xA0 + i);
    const std::string text = EventLog::traceWordsText(frame, 9);
    ASSERT_EQ(text.size(), 73u);
    EXPECT_EQ(text.substr(0, 8), "A0A1A2A3");
    EXPECT_EQ(text.substr(64), "C0C1C2C3H");
    EXPECT_EQ(EventLog::traceWordsText(frame, 0), "H");
}

std::vector<std::string> dumpLines(const std::vector<uint8_t>& bytes) {
    MessageTable messages;
    EventLog log(messages);
    RecordingView view;
    log.setView(&view);
    log.hexDump(bytes.data(), bytes.size());
    return view.lines;
}

std::vector<uint8_t> counting(size_t count, uint8_t first) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

TEST(PacketTrace, TwentyByteDump) {
    std::vector<uint8_t> bytes = counting(16, 0x00);
    bytes.insert(bytes.end(), {0x41, 0x42, 0x43, 0x44});
    const std::vector<std::string> lines = dumpLines(bytes);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "00 01 02 03 04 05 06 07-08 09 0A 0B 0C 0D 0E 0F ................");
    EXPECT_EQ(lines[1], "41 42 43 44 " + std::string(36, ' ') + "ABCD" + std::string(12, ' '));
}

TEST(PacketTrace, ThirtyTwoByteDumpEndsWithABlankLine) {
    const std::vector<std::string> lines = dumpLines(counting(32, 0x70));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "70 71 72 73 74 75 76 77-78 79 7A 7B 7C 7D 7E 7F pqrstuvwxyz{|}~.");
    EXPECT_EQ(lines[1], "80 81 82 83 84 85 86 87-88 89 8A 8B 8C 8D 8E 8F ................");
    EXPECT_EQ(lines[2], std::string(64, ' '));
}

TEST(PacketTrace, DumpLinesAreAlways64Characters) {
    for (size_t length : {0u, 1u, 7u, 8u, 9u, 15u, 17u}) {
        const std::vector<std::string> lines = dumpLines(counting(length, 0x1E));
        ASSERT_EQ(lines.size(), length / 16 + 1) << length;
        for (const std::string& line : lines) EXPECT_EQ(line.size(), 64u) << length;
    }
    // The dash follows the eighth byte only when there is one.
    EXPECT_EQ(dumpLines(counting(8, 0x30))[0].substr(0, 24), "30 31 32 33 34 35 36 37-");
    EXPECT_EQ(dumpLines(counting(7, 0x30))[0].substr(18, 6), "36    ");
}

}  // namespace
}  // namespace mdk
