// The platform's file helpers and the panes' row helpers that every pane and transfer uses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "panes/phone_rows.h"
#include "platform/safe_file.h"

namespace mdk {
namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "mdk-files-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(path_); }
    std::string file(const std::string& name, const std::string& text) const {
        const std::string path = path_ + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(FileHelpers, FirstLineDropsTrailingBlanksAndCr) {
    TempFolder dir;
    EXPECT_EQ(firstLine(dir.file("idVendor", "22b8\n")), "22b8");
    EXPECT_EQ(firstLine(dir.file("crlf", "Motorola Inc. \r\nsecond\n")), "Motorola Inc.");
    EXPECT_EQ(firstLine(dir.file("empty", "")), "");
    EXPECT_EQ(firstLine(dir.path() + "/missing"), "");
}

TEST(FileHelpers, ReadTextFileTakesEveryByteAndRefusesFolders) {
    TempFolder dir;
    const std::string bytes("a\0b\r\nc", 6);
    EXPECT_EQ(readTextFile(dir.file("x", bytes)), bytes);
    EXPECT_EQ(readTextFile(dir.path() + "/missing"), std::nullopt);
    EXPECT_EQ(readTextFile(dir.path()), std::nullopt);
    // Files whose size the folder does not know are read by streaming.
    const auto cmdline = readTextFile("/proc/self/cmdline");
    ASSERT_TRUE(cmdline);
    EXPECT_FALSE(cmdline->empty());
}

TEST(FileHelpers, PcFileSizeIsZeroForWhatCannotBeMeasured) {
    TempFolder dir;
    EXPECT_EQ(pcFileSize(dir.file("five", "12345")), 5u);
    EXPECT_EQ(pcFileSize(dir.file("empty", "")), 0u);
    EXPECT_EQ(pcFileSize(dir.path() + "/missing"), 0u);
    EXPECT_EQ(pcFileSize(dir.path()), 0u);  // a folder has no file size
}

TEST(FileHelpers, WriteAllWritesEveryByteOrFails) {
    TempFolder dir;
    const std::string path = dir.path() + "/out";
    std::vector<uint8_t> bytes(300000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(writeAll(fd, bytes));
    ::close(fd);
    std::string error;
    EXPECT_EQ(readWholeFile(path, error), bytes);
    fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_FALSE(writeAll(fd, bytes)) << "a read-only descriptor takes nothing";
    ::close(fd);
}

TEST(RowHelpers, UsableNames) {
    for (const char* bad : {"", ".", "..", "a/b", "/"}) EXPECT_FALSE(usableFileName(bad)) << bad;
    EXPECT_FALSE(usableFileName(std::string("a\0b", 3)));
    EXPECT_TRUE(usableFileName("new folder"));
    EXPECT_TRUE(usableFileName("...x"));
}

}  // namespace
}  // namespace mdk
