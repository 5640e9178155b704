#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "config/linux_settings.h"
#include "device_test_support.h"
#include "platform/process_runner.h"
#include "platform/scsi_disks.h"

namespace mdk::test {
namespace {

namespace fs = std::filesystem;

TEST(LinuxSettings, FileThenEnvironmentWithBadLinesReported) {
    TempFolder folder;
    std::ofstream(folder.path() + "/.linux-settings")
        << "# mount stand-ins\n"
        << "shareMountCommand = mount.cifs //%IP%/system %MOUNT%\n"
        << "usblanPort=12000\n"
        << "noSuchKey=1\n"
        << "no equals sign\n";
    std::map<std::string, std::string> environment = {{"MARROWDECK_USBLAN_PORT", "11500"},
                                                      {"MARROWDECK_FTP_MOUNT_POINT", "/mnt/ftp"}};
    auto getenv = [&](const char* name) -> const char* {
        auto it = environment.find(name);
        return it == environment.end() ? nullptr : it->second.c_str();
    };
    std::string warnings;
    LinuxSettings settings = LinuxSettings::load(folder.path(), getenv, &warnings);
    EXPECT_EQ(settings.shareMountCommand, "mount.cifs //%IP%/system %MOUNT%");
    EXPECT_EQ(settings.usblanPort, 11500);
    EXPECT_EQ(settings.ftpMountPoint, "/mnt/ftp");
    EXPECT_EQ(settings.shareUnmountCommand, LinuxSettings{}.shareUnmountCommand);
    EXPECT_NE(warnings.find("line 4"), std::string::npos);
    EXPECT_NE(warnings.find("line 5"), std::string::npos);

    environment["MARROWDECK_USBLAN_PORT"] = "70000";
    warnings.clear();
    settings = LinuxSettings::load(folder.path(), getenv, &warnings);
    EXPECT_EQ(settings.usblanPort, 12000);  // the bad value is refused, the file's stays
    EXPECT_NE(warnings.find("MARROWDECK_USBLAN_PORT"), std::string::npos);
}

TEST(LinuxSettings, EditorsFromTheFileOrTheEnvironment) {
    TempFolder folder;
    std::ofstream(folder.path() + "/.linux-settings") << "hexEditor = okteta --readonly\n"
                                                      << "textEditor=mousepad\n";
    std::map<std::string, std::string> environment;
    auto getenv = [&](const char* name) -> const char* {
        auto it = environment.find(name);
        return it == environment.end() ? nullptr : it->second.c_str();
    };
    LinuxSettings settings = LinuxSettings::load(folder.path(), getenv);
    EXPECT_EQ(settings.hexEditor, "okteta --readonly");
    EXPECT_EQ(settings.textEditor, "mousepad");
    environment = {{"MARROWDECK_HEX_EDITOR", "ghex"}, {"MARROWDECK_TEXT_EDITOR", "gedit"}};
    settings = LinuxSettings::load(folder.path(), getenv);
    EXPECT_EQ(settings.hexEditor, "ghex");
    EXPECT_EQ(settings.textEditor, "gedit");
}

TEST(LinuxSettings, MissingFileGivesDefaults) {
    LinuxSettings settings = LinuxSettings::load("/nonexistent-folder", nullptr);
    EXPECT_EQ(settings.usblanPort, 11000);
    EXPECT_EQ(settings.shareMountCommand, "gio mount smb://root@%IP%/system");
    EXPECT_FALSE(settings.verifyTransfers);
}

// A program folder or mount point holding "$(...)", backticks or quotes reaches a command
// template's program as one literal word, and nothing in it runs.
TEST(LinuxSettings, CommandTemplatesTakeEachValueShellQuoted) {
    TempFolder folder;
    const std::string hostile = folder.path() + "/$(touch ran1)`touch ran2` \"x'y\"";
    EXPECT_EQ(expandCommandTemplate("fusermount -u %MOUNT%", "", "/a b'c", ""),
              "fusermount -u '/a b'\\''c'");
    const std::string command =
        expandCommandTemplate("cd %PROGRAM% && printf '%s\\n' %MOUNT% %IP% > args.txt", "10.0.0.2",
                              hostile, folder.path());
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(folder.path() + "/args.txt");
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(first, hostile);
    EXPECT_EQ(second, "10.0.0.2");
    EXPECT_FALSE(fs::exists(folder.path() + "/ran1"));
    EXPECT_FALSE(fs::exists(folder.path() + "/ran2"));
    // The defaults leave the quoting to the expansion.
    const LinuxSettings defaults;
    for (const std::string* text : {&defaults.shareMountCommand, &defaults.shareUnmountCommand,
                                    &defaults.ftpMountCommand, &defaults.ftpUnmountCommand}) {
        EXPECT_EQ(text->find('"'), std::string::npos) << *text;
    }
}

// A settings file written with an earlier default command template (placeholders in double
// quotes) gets today's default, on disk too; templates of the user's own stay.
TEST(LinuxSettings, OldDefaultCommandTemplatesAreRewritten) {
    TempFolder folder;
    const std::string path = folder.path() + "/.linux-settings";
    std::ofstream(path) << "usblanPort=12000\n"
                        << "ftpMountCommand = mkdir -p \"%MOUNT%\" && exec curlftpfs -f "
                           "\"ftp://root@%IP%/\" \"%MOUNT%\"\n"
                        << "ftpUnmountCommand=fusermount -u \"%MOUNT%\"\n"
                        << "shareMountCommand=gio mount \"smb://root@%IP%/system\"\n"
                        << "shareUnmountCommand=my-own \"%IP%\"\n";
    const LinuxSettings settings = LinuxSettings::load(folder.path(), nullptr);
    const LinuxSettings defaults;
    EXPECT_EQ(settings.ftpMountCommand, defaults.ftpMountCommand);
    EXPECT_EQ(settings.ftpUnmountCommand, defaults.ftpUnmountCommand);
    EXPECT_EQ(settings.shareMountCommand, defaults.shareMountCommand);
    EXPECT_EQ(settings.shareUnmountCommand, "my-own \"%IP%\"");
    EXPECT_EQ(settings.usblanPort, 12000);
    std::ifstream in(path);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(text, "usblanPort=12000\nftpMountCommand=" + defaults.ftpMountCommand +
                        "\nftpUnmountCommand=" + defaults.ftpUnmountCommand +
                        "\nshareMountCommand=" + defaults.shareMountCommand +
                        "\nshareUnmountCommand=my-own \"%IP%\"\n");
    EXPECT_EQ(LinuxSettings::withOldDefaultsReplaced(text), std::nullopt);
}

TEST(LinuxSettings, VerifyTransfersTakesZeroOrOne) {
    std::string warnings;
    EXPECT_TRUE(LinuxSettings::parse("verifyTransfers=1\n", &warnings).verifyTransfers);
    EXPECT_FALSE(LinuxSettings::parse("verifyTransfers=1\nverifyTransfers=0\n").verifyTransfers);
    EXPECT_TRUE(warnings.empty());
    EXPECT_FALSE(LinuxSettings::parse("verifyTransfers=yes\n", &warnings).verifyTransfers);
    EXPECT_NE(warnings.find("line 1 ignored: verifyTransfers=yes"), std::string::npos);
}

TEST(LinuxSettings, TemplatesExpandEveryPlaceholder) {
    EXPECT_EQ(expandTemplate("%IP% %MOUNT% %PROGRAM% %IP%", "10.0.0.2", "/m", "/p"),
              "10.0.0.2 /m /p 10.0.0.2");
    EXPECT_EQ(expandTemplate("/run/user/%UID%", "", "", ""),
              "/run/user/" + std::to_string(::getuid()));
    EXPECT_EQ(parsePort("0"), std::nullopt);
    EXPECT_EQ(parsePort("65535"), 65535);
    EXPECT_EQ(parsePort("12a"), std::nullopt);
}

TEST(CommandRunner, StartsHiddenInTheGivenFolderWithoutWaiting) {
    TempFolder folder;
    PosixCommandRunner runner;
    const int pid = runner.start("sleep 0.2; pwd > out.txt", folder.path());
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(fs::exists(folder.path() + "/out.txt"));  // not waited for
    std::string line;
    ASSERT_TRUE(eventually([&] {
        std::ifstream in(folder.path() + "/out.txt");
        return std::getline(in, line) && !line.empty();
    }));
    EXPECT_EQ(fs::canonical(line), fs::canonical(folder.path()));
}

bool processGone(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t close = text.rfind(')');
    return !stat.good() ||
           (close != std::string::npos && text.size() > close + 2 && text[close + 2] == 'Z');
}

TEST(CommandRunner, TerminateEndsTheCommandAndWhatItStarted) {
    PosixCommandRunner runner;
    const int pid = runner.start("sleep 30 & sleep 30; wait");
    ASSERT_GT(pid, 0);
    runner.terminate(pid);
    EXPECT_TRUE(eventually([&] { return processGone(pid); }));
    runner.terminate(999999);  // not ours: ignored
}

class FakeSysfsDisks {
public:
    explicit FakeSysfsDisks(const std::string& root) : root_(root) {}
    void add(const std::string& name, const std::string& vendor, const std::string& model,
             const std::string& manufacturer) {
        const std::string usb = root_ + "/devices/usb1/1-" + name;
        const std::string scsi = usb + "/1-1:1.0/host0/target0:0:0/0:0:0:0";
        fs::create_directories(scsi);
        std::ofstream(usb + "/idVendor") << "22b8\n";
        std::ofstream(usb + "/idProduct") << "604c\n";
        std::ofstream(usb + "/manufacturer") << manufacturer << "\n";
        std::ofstream(usb + "/product") << "Phone\n";
        std::ofstream(scsi + "/vendor") << vendor << "\n";
        std::ofstream(scsi + "/model") << model << "\n";
        fs::create_directories(root_ + "/block/" + name);
        fs::create_directory_symlink(scsi, root_ + "/block/" + name + "/device");
    }

private:
    std::string root_;
};

TEST(ScsiDisks, IdentityCarriesTheUsbStringsForTheMotorolaTest) {
    TempFolder folder;
    FakeSysfsDisks sysfs(folder.path());
    sysfs.add("sdc", "Generic", "Flash Disk", "Motorola Inc.");
    sysfs.add("sdb", "ATA", "SSD", "Intel");
    fs::create_directories(folder.path() + "/block/loop0");
    SgioScsiDisks disks(folder.path(), "/dev");
    auto list = disks.list();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].devNode, "/dev/sdb");
    EXPECT_EQ(list[1].devNode, "/dev/sdc");
    EXPECT_NE(list[1].identity.find("Motorola Inc."), std::string::npos);
    EXPECT_NE(list[1].identity.find("Flash Disk"), std::string::npos);
    EXPECT_EQ(list[0].identity.find("Motorola"), std::string::npos);
    EXPECT_FALSE(disks.sendCommand({"x", folder.path() + "/no-such-node"}, {}, 100));
}

}  // namespace
}  // namespace mdk::test

namespace mdk::test {
namespace {

// The instance started by the restart test: it only leaves its mark and ends, before any
// test runs.
const bool kRestartedInstance = [] {
    const char* mark = std::getenv("MDK_RESTART_MARK");
    if (!mark) return false;
    std::ofstream(mark) << "restarted " << ::getpid() << "\n";
    std::_Exit(0);
}();

TEST(Restart, ProgramStartsAgainOnceThisInstanceHasEnded) {
    EXPECT_FALSE(kRestartedInstance);
    TempFolder folder;
    const std::string mark = folder.path() + "/mark";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("MDK_RESTART_MARK", mark.c_str(), 1);
        ExecRestarter restarter;
        const char ok = restarter.restartAfterExit() ? 1 : 0;
        (void)!::write(ready[1], &ok, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::_Exit(0);
    }
    ::close(ready[1]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(ok, 1);
    // While the first instance still runs, nothing has started.
    EXPECT_FALSE(fs::exists(mark));
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(eventually([&] { return fs::exists(mark); }, 10000));
}

}  // namespace
}  // namespace mdk::test
