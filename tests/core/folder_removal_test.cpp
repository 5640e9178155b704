// Counting and removing a PC folder without following links.
#include "platform/folder_removal.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <filesystem>
#include <fstream>

#include "device_test_support.h"

namespace mdk {
namespace {

namespace fs = std::filesystem;

void touch(const std::string& path) {
    std::ofstream(path) << "x";
}

TEST(FolderRemoval, CountsFilesBelowAndLinksAsFiles) {
    test::TempFolder folder;
    const std::string root = folder.path() + "/tree";
    const std::string elsewhere = folder.path() + "/elsewhere";
    fs::create_directories(root + "/a/b");
    fs::create_directories(elsewhere);
    for (const char* name : {"/one", "/a/two", "/a/b/three"}) touch(root + name);
    for (const char* name : {"/x", "/y"}) touch(elsewhere + name);
    fs::create_directory_symlink(elsewhere, root + "/a/link");
    const FolderContents contents = countFolderContents(root);
    EXPECT_EQ(contents.files, 4u);
    EXPECT_TRUE(contents.readable);
    EXPECT_FALSE(countFolderContents(folder.path() + "/missing").readable);
}

TEST(FolderRemoval, RemovesTheTreeButNotWhatLinksPointTo) {
    test::TempFolder folder;
    const std::string root = folder.path() + "/tree";
    const std::string elsewhere = folder.path() + "/elsewhere";
    fs::create_directories(root + "/a/b");
    fs::create_directories(elsewhere);
    touch(root + "/a/b/three");
    touch(elsewhere + "/kept");
    fs::create_directory_symlink(elsewhere, root + "/a/link");
    std::string error;
    EXPECT_TRUE(removeFolderOnItsFileSystem(root, error)) << error;
    EXPECT_FALSE(fs::exists(root));
    EXPECT_TRUE(fs::exists(elsewhere + "/kept"));
    // A link to a folder or a file is not a folder to remove.
    fs::create_directory_symlink(elsewhere, folder.path() + "/link");
    EXPECT_FALSE(removeFolderOnItsFileSystem(folder.path() + "/link", error));
    EXPECT_TRUE(fs::exists(elsewhere + "/kept"));
}

TEST(FolderRemoval, NeverEntersAFileSystemMountedInside) {
    test::TempFolder folder;
    const std::string root = folder.path() + "/tree";
    fs::create_directories(root + "/mounted");
    touch(root + "/own");
    if (::mount("none", (root + "/mounted").c_str(), "tmpfs", 0, nullptr) != 0) {
        GTEST_SKIP() << "no tmpfs mount here";
    }
    touch(root + "/mounted/on-the-other-disk");
    EXPECT_EQ(countFolderContents(root).files, 1u);
    std::string error;
    EXPECT_FALSE(removeFolderOnItsFileSystem(root, error));
    EXPECT_NE(error.find("another file system"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(root + "/own"));
    EXPECT_TRUE(fs::exists(root + "/mounted/on-the-other-disk"));
    ::umount((root + "/mounted").c_str());
}

}  // namespace
}  // namespace mdk
