// Checks the shipped "Messages.lng" against what the program takes from it.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/messages.h"

namespace mdk {
namespace {

namespace fs = std::filesystem;

constexpr int kHighestMessage = 134;

fs::path resourcesFolder() {
    if (const char* source = std::getenv("MDK_SOURCE_DIR")) return fs::path(source) / "resources";
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "resources";
}

class ShippedMessages : public testing::Test {
protected:
    void SetUp() override {
        std::ifstream in(resourcesFolder() / "Messages.lng", std::ios::binary);
        ASSERT_TRUE(in) << "no Messages.lng in " << resourcesFolder();
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        table.parse(bytes);
    }

    std::string text(int number) const { return std::string(table.text(number)); }

    std::string bytes;
    MessageTable table;
};

TEST_F(ShippedMessages, EveryNumberHasAText) {
    ASSERT_GE(table.size(), static_cast<size_t>(kHighestMessage + 1));
    for (int n = 0; n <= kHighestMessage; ++n) EXPECT_FALSE(text(n).empty()) << "message " << n;
}

TEST_F(ShippedMessages, NoLineIsLostToAnEarlyEmptyLine) {
    EXPECT_EQ(bytes.find('\r'), std::string::npos) << "the file uses LF line ends";
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), '\n');
    // Every non-comment line is numbered: an empty line would cut the table short.
    size_t lines = 0;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        if (bytes[start] != '#') ++lines;
    }
    EXPECT_EQ(table.size(), lines);
}

TEST_F(ShippedMessages, PhoneVolumeEntriesNameTheirVolume) {
    // The attach routine takes a volume's letter from the second character of its entry.
    const struct {
        int number;
        const char* volume;
    } volumes[] = {{116, "/a"}, {117, "/b"}, {118, "/c"}, {119, "/e"}, {120, "/g"}};
    for (const auto& v : volumes) {
        EXPECT_EQ(text(v.number).substr(0, 2), v.volume) << "message " << v.number;
    }
    EXPECT_NE(text(121).front(), '/') << "the empty slot must not look like a volume";
    EXPECT_NE(text(115).front(), '/') << "the seem folder entry must not look like a volume";
    // Message 122 gets its first two characters replaced by the option's volume.
    const std::string fourthSlot = text(122);
    ASSERT_GE(fourthSlot.size(), 3u);
    EXPECT_EQ(fourthSlot[0], '/');
    EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(fourthSlot[1])));
}

TEST_F(ShippedMessages, TextsJoinedToNamesAndNumbersKeepTheirSpaces) {
    // Callers append a name or number right after these texts...
    for (int n : {21, 33, 42, 54, 56, 77, 78, 79, 80, 99, 123}) {
        EXPECT_EQ(text(n).back(), ' ') << "message " << n;
    }
    // ...and these right after a number or a drive root.
    for (int n : {22, 23, 40, 41, 73, 74, 75, 76}) {
        EXPECT_EQ(text(n).front(), ' ') << "message " << n;
    }
}

}  // namespace
}  // namespace mdk
