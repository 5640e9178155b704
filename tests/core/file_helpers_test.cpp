// The platform's file helpers and the panes' row helpers that every pane and transfer uses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "fifo_guard.h"
#include "panes/phone_rows.h"
#include "platform/safe_file.h"

namespace mdk {
namespace {

namespace fs = std::filesystem;
using test::makePipe;
using test::returnsWithoutWaiting;

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

// Every reader of a file in a folder the user chose returns at once on a named pipe, with
// a reason that names it.
// A file larger than a caller takes whole is refused from its size, before a byte is read
// or any memory is set aside for it (a sparse file of 4 GiB + 1 costs no disk here).
TEST(FileHelpers, FilesTooLargeToReadWholeAreRefusedBeforeReading) {
    TempFolder dir;
    const std::string huge = dir.path() + "/huge.bin";
    const int fd = ::open(huge.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(kLargestWholeFile) + 1), 0);
    ::close(fd);
    std::string error;
    EXPECT_FALSE(readWholeFile(huge, error));
    EXPECT_EQ(error,
              "too large to read whole: " + huge + " (4294967296 bytes; at most 4294967295)");
    error.clear();
    EXPECT_FALSE(AnchoredFolder(dir.path(), false).readFile("huge.bin", error));
    EXPECT_NE(error.find("too large to read whole: "), std::string::npos) << error;

    const std::string ten = dir.file("ten.bin", "0123456789");
    EXPECT_EQ(readWholeFile(ten, error, 10)->size(), 10u);
    error.clear();
    EXPECT_FALSE(readWholeFile(ten, error, 9));
    EXPECT_EQ(error, "too large to read whole: " + ten + " (10 bytes; at most 9)");
}

TEST(FileHelpers, NamedPipesAreRefusedWithoutWaiting) {
    TempFolder dir;
    const std::string pipe = dir.path() + "/pipe";
    ASSERT_TRUE(makePipe(pipe));
    struct Case {
        const char* name;
        std::function<std::string()> read;  // the error, empty when the read succeeded
    };
    const Case cases[] = {
        {"readWholeFile",
         [&] {
             std::string error;
             return readWholeFile(pipe, error) ? std::string() : error;
         }},
        {"readFileStart",
         [&] {
             std::string error;
             return readFileStart(pipe, 10, error) ? std::string() : error;
         }},
        {"readTextFile", [&] { return readTextFile(pipe) ? std::string() : "refused"; }},
        {"AnchoredFolder::readFile",
         [&] {
             std::string error;
             return AnchoredFolder(dir.path(), false).readFile("pipe", error) ? std::string()
                                                                              : error;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_TRUE(returnsWithoutWaiting(pipe, [&] { error = c.read(); }));
        EXPECT_FALSE(error.empty());
        if (error != "refused") {
            EXPECT_NE(error.find("a named pipe"), std::string::npos) << error;
        }
    }
}

TEST(AnchoredFolder, MakesAndReadsFilesInsideItsFolder) {
    TempFolder dir;
    const std::vector<uint8_t> bytes = {0, 1, 2, 0xFF};
    AnchoredFolder folder(dir.path() + "/new/backup", true);
    ASSERT_TRUE(folder.ok()) << folder.error();
    std::string error;
    EXPECT_TRUE(folder.absent("files/a/x.bin"));
    ASSERT_TRUE(folder.writeFile("files/a/x.bin", bytes, ExistingFile::Replace, error)) << error;
    EXPECT_EQ(readWholeFile(dir.path() + "/new/backup/files/a/x.bin", error), bytes);
    EXPECT_EQ(folder.readFile("files/a/x.bin", error), bytes);
    EXPECT_EQ(folder.fileSize("files/a/x.bin"), 4u);
    EXPECT_FALSE(folder.absent("files/a/x.bin"));
    EXPECT_FALSE(folder.writeFile("files/a/x.bin", bytes, ExistingFile::Keep, error));
    for (const char* name : {"../x.bin", "files/../../x.bin", "files/./a/x.bin", ""}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(folder.writeFile(name, bytes, ExistingFile::Replace, error));
        EXPECT_FALSE(folder.readFile(name, error));
    }
    EXPECT_FALSE(fs::exists(dir.path() + "/new/x.bin"));
    EXPECT_FALSE(AnchoredFolder(dir.path() + "/missing", false).ok());
}

// A link inside the folder, to a folder or to a file elsewhere, is refused when read or
// written through; the folder itself may be a link.
TEST(AnchoredFolder, LinksInsideAreRefusedNeverFollowed) {
    TempFolder dir;
    const std::string outside = dir.path() + "/outside";
    fs::create_directories(outside);
    const std::string secret = dir.file("secret", "the user's own file");
    fs::create_directories(dir.path() + "/real");
    fs::create_directory_symlink(outside, dir.path() + "/real/files");
    fs::create_symlink(secret, dir.path() + "/real/manifest.json");
    fs::create_directory_symlink(dir.path() + "/real", dir.path() + "/chosen");

    AnchoredFolder folder(dir.path() + "/chosen", false);
    ASSERT_TRUE(folder.ok()) << "the chosen folder may be a link: " << folder.error();
    const std::vector<uint8_t> bytes = {7, 7, 7};
    std::string error;
    EXPECT_FALSE(folder.writeFile("files/a/x.bin", bytes, ExistingFile::Replace, error));
    EXPECT_NE(error.find("a link inside"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(outside)) << "nothing is made behind the link";
    EXPECT_FALSE(folder.readFile("manifest.json", error));
    EXPECT_NE(error.find("a link, not followed"), std::string::npos) << error;
    EXPECT_EQ(folder.fileSize("manifest.json"), std::nullopt);
    EXPECT_FALSE(folder.absent("manifest.json"));
    std::ofstream(outside + "/y.bin") << "y";
    EXPECT_FALSE(folder.readFile("files/y.bin", error));
    EXPECT_EQ(folder.fileSize("files/y.bin"), std::nullopt);

    ASSERT_TRUE(folder.writeFile("seems/s.seem", bytes, ExistingFile::Replace, error)) << error;
    EXPECT_EQ(readWholeFile(dir.path() + "/real/seems/s.seem", error), bytes);
}

TEST(RowHelpers, UsableNames) {
    for (const char* bad : {"", ".", "..", "a/b", "/"}) EXPECT_FALSE(usableFileName(bad)) << bad;
    EXPECT_FALSE(usableFileName(std::string("a\0b", 3)));
    EXPECT_TRUE(usableFileName("new folder"));
    EXPECT_TRUE(usableFileName("...x"));
}

}  // namespace
}  // namespace mdk
