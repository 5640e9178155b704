// The per-phone lock file: where it lives, that it never writes through a planted link,
// and that a folder of someone else's is not used. Independent of the system's link
// protection settings: every folder here is the test's own.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/phone_lock.h"

namespace mdk {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the test's length (unset with nullopt).
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~EnvironmentValue() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class PhoneLockFolder : public ::testing::Test {
protected:
    PhoneLockFolder() {
        std::string pattern = (fs::temp_directory_path() / "mdk-lock-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
    }
    ~PhoneLockFolder() override { fs::remove_all(root_); }
    std::string text(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string private_() const { return root_ + "/marrowdeck-" + std::to_string(::getuid()); }

    std::string root_;
};

TEST_F(PhoneLockFolder, WithoutARuntimeFolderTheLockLivesInAPrivateFolder) {
    EnvironmentValue runtime("XDG_RUNTIME_DIR", std::nullopt);
    EnvironmentValue temp("TMPDIR", root_);
    const std::string path = PhoneLock::lockPathFor("usb");
    EXPECT_EQ(path.rfind(private_() + "/marrowdeck-phone-usb-", 0), 0u) << path;
    PhoneLock lock;
    std::string error;
    ASSERT_TRUE(lock.acquire("usb", 0, error)) << error;
    struct stat st;
    ASSERT_EQ(::lstat(private_().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::getuid());
    EXPECT_EQ(text(path), std::to_string(::getpid()) + "\n");
    PhoneLock second;
    EXPECT_FALSE(second.acquire("usb", 0, error));
    EXPECT_EQ(error, "the phone is in use by process " + std::to_string(::getpid()));
}

// A link planted where the lock file or its private folder belongs is never followed:
// the file it names keeps its bytes.
TEST_F(PhoneLockFolder, PlantedLinksAreRefusedAndTheirTargetsKept) {
    const std::string victim = root_ + "/victim";
    std::ofstream(victim) << "precious bytes";
    EnvironmentValue temp("TMPDIR", root_);
    {
        EnvironmentValue runtime("XDG_RUNTIME_DIR", root_);
        fs::create_symlink(victim, PhoneLock::lockPathFor("usb"));
        PhoneLock lock;
        std::string error;
        EXPECT_FALSE(lock.acquire("usb", 0, error));
        EXPECT_NE(error.find("cannot use the lock file"), std::string::npos) << error;
    }
    EXPECT_EQ(text(victim), "precious bytes");

    EnvironmentValue runtime("XDG_RUNTIME_DIR", std::nullopt);
    const std::string elsewhere = root_ + "/elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directory_symlink(elsewhere, private_());
    PhoneLock lock;
    std::string error;
    EXPECT_FALSE(lock.acquire("usb", 0, error));
    EXPECT_NE(error.find("is a link or not this user's own folder"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

// A private folder left open to others (by this user) is made private again before use.
TEST_F(PhoneLockFolder, AnOpenPrivateFolderIsClosedBeforeUse) {
    EnvironmentValue runtime("XDG_RUNTIME_DIR", std::nullopt);
    EnvironmentValue temp("TMPDIR", root_);
    fs::create_directories(private_());
    ::chmod(private_().c_str(), 0777);
    PhoneLock lock;
    std::string error;
    ASSERT_TRUE(lock.acquire("usb", 0, error)) << error;
    struct stat st;
    ASSERT_EQ(::stat(private_().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// The holder writes its id over whatever was in the file, longer or not.
TEST_F(PhoneLockFolder, TheHolderReplacesAnOlderLongerId) {
    EnvironmentValue runtime("XDG_RUNTIME_DIR", root_);
    std::ofstream(PhoneLock::lockPathFor("usb")) << "123456789012345678\n";
    PhoneLock lock;
    std::string error;
    ASSERT_TRUE(lock.acquire("usb", 0, error)) << error;
    EXPECT_EQ(text(PhoneLock::lockPathFor("usb")), std::to_string(::getpid()) + "\n");
}

}  // namespace
}  // namespace mdk
