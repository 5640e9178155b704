// The mounted phone's folder index and its checks of phone paths.
#include <gtest/gtest.h>

#include <cerrno>

#include "mount/folder_index.h"
#include "mount/phone_fs.h"

namespace mdk {
namespace {

std::vector<std::string> namesOf(const FolderIndex& index, const std::string& folder) {
    std::vector<std::string> names;
    if (const auto* children = index.children(folder)) {
        for (const auto& [key, entry] : *children) {
            names.push_back(entry.name + (entry.folder ? "/" : ""));
        }
    }
    return names;
}

TEST(FolderIndex, BuildsFoldersFromRecordPaths) {
    FolderIndex index;
    index.addFolder("/a");
    EXPECT_TRUE(index.addRecord("/a/mobile/audio/song.mp3", 0x07000400, 300));
    EXPECT_TRUE(index.addRecord("/a/mobile/x.bin", 0x07000400, 9));
    EXPECT_TRUE(index.addRecord("/a/pics", 0x07001000, 0));  // a folder's own record
    EXPECT_EQ(namesOf(index, ""), (std::vector<std::string>{"a/"}));
    EXPECT_EQ(namesOf(index, "/a"), (std::vector<std::string>{"mobile/", "pics/"}));
    EXPECT_EQ(namesOf(index, "/a/mobile"), (std::vector<std::string>{"audio/", "x.bin"}));
    ASSERT_NE(index.find("/a/mobile/x.bin"), nullptr);
    EXPECT_EQ(index.find("/a/mobile/x.bin")->size, 9u);
    EXPECT_EQ(index.find("/a/mobile/audio/song.mp3")->size, 300u);
    EXPECT_EQ(index.find("/a/nothing"), nullptr);
    EXPECT_EQ(index.children("/a/mobile/x.bin"), nullptr);
}

TEST(FolderIndex, FirstOfTwoNamesDifferingInCaseWins) {
    FolderIndex index;
    index.addRecord("/a/Music/one.mp3", 0x07000400, 1);
    index.addRecord("/a/music/two.mp3", 0x07000400, 2);
    index.addRecord("/a/Music/ONE.MP3", 0x07000400, 3);
    EXPECT_EQ(namesOf(index, "/a"), (std::vector<std::string>{"Music/"}));
    EXPECT_EQ(namesOf(index, "/a/MUSIC"), (std::vector<std::string>{"one.mp3", "two.mp3"}));
    EXPECT_EQ(index.find("/A/music/One.mp3")->size, 1u);
}

TEST(FolderIndex, SkipsUnsafeRecordPaths) {
    FolderIndex index;
    for (const char* path : {"/a/../etc", "/a//x", "a/x", "/a/./x", "", "/"}) {
        EXPECT_FALSE(index.addRecord(path, 0, 1)) << path;
    }
    EXPECT_EQ(index.folderCount(), 1u);  // the root only
}

TEST(FolderIndex, RemovesFilesAndWholeFolders) {
    FolderIndex index;
    index.addRecord("/a/d/e/f.bin", 0x07000400, 1);
    index.addRecord("/a/d/g.bin", 0x07000400, 1);
    index.addRecord("/a/h.bin", 0x07000400, 1);
    index.remove("/a/d/g.bin");
    EXPECT_EQ(index.find("/a/d/g.bin"), nullptr);
    index.remove("/a/D");
    EXPECT_EQ(index.find("/a/d"), nullptr);
    EXPECT_EQ(index.children("/a/d/e"), nullptr);
    EXPECT_EQ(namesOf(index, "/a"), (std::vector<std::string>{"h.bin"}));
    index.setFile("/a/h.bin", 77, 0x07002400);
    EXPECT_EQ(index.find("/a/h.bin")->size, 77u);
    EXPECT_EQ(index.find("/a/h.bin")->attributes, 0x07002400u);
}

TEST(PhoneFsPaths, RefusesWhatThePhoneCannotHold) {
    struct Case {
        const char* path;
        uint32_t stride;
        int error;
    };
    const Case cases[] = {
        {"/a/abcdefghijklmnopqrstuvwxyz01.bin", 44, 0},  // 35 characters: the most
        {"/a/abcdefghijklmnopqrstuvwxyz012.bin", 44, -ENAMETOOLONG},
        {"/a/abcdefghijklmnopqrstuvwxyz012.bin", 268, 0},
        {"/a/../x", 268, -EINVAL},
        {"/a//x", 268, -EINVAL},
        {"/a/x\x01y", 268, -EINVAL},
        {"/a/x\\y", 268, -EINVAL},
        {"/a/x\x7fy", 268, -EINVAL},
        {"/a/caf\xc3\xa9.txt", 268, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PhoneFs::pathProblem(c.path, c.stride), c.error) << c.path;
    }
}

}  // namespace
}  // namespace mdk
