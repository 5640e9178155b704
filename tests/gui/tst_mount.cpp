// File > "Mount phone as folder…" and "Unmount" against marrowdeck-phonesim: the real mount
// (a marrowdeck-cli child), the pane opposite the phone pane on the mounted folder, the
// window's own link given up while mounted and taken up again, and closing the window.
// Needs root and /dev/fuse; without them the test is skipped, but fails when CI=true.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <QProcess>
#include <filesystem>

#include "device/device_connection.h"
#include "gui/panes/worker_runner.h"
#include "gui/window/mount_command.h"
#include "gui_fixture.h"
#include "panes/drive_entries.h"
#include "platform/phone_lock.h"
#include "platform/safe_file.h"

namespace mdk::test {
namespace fs = std::filesystem;

class TestMount : public QObject {
    Q_OBJECT
private slots:
    void init();
    void mountShowsThePhoneInTheOtherPaneAndUnmountBringsTheLinkBack();
    void closingTheWindowUnmounts();
    void aMountThatEndsByItselfIsLoggedAndTheLinkComesBack();
    void refusingToMakeTheFolderMountsNothing();
    void aToolThatCannotStartGivesTheLinkBack();
};

namespace {

bool mountable() {
    return ::getuid() == 0 && ::access("/dev/fuse", R_OK | W_OK) == 0 &&
           std::system("command -v fusermount3 >/dev/null") == 0;
}

bool isMountPoint(const std::string& folder) {
    for (const MountPoint& m : parseMountInfo(readTextFile("/proc/self/mountinfo").value_or(""))) {
        if (m.mountPoint == folder) return true;
    }
    return false;
}

// The errno of reading the file through; 0 when it reads to its end.
int readError(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return errno;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
    }
    const int error = n < 0 ? errno : 0;
    ::close(fd);
    return error;
}

// The window on a PC folder in both panes, its link watch on a marrowdeck-phonesim over a
// socket (as the program runs it), and the mount command with a chooser that answers
// home/Phone and records where it started.
struct MountFixture : GuiFixture {
    explicit MountFixture(std::string cli = {}) {
        bin = qEnvironmentVariable("MDK_BIN_DIR").toStdString();
        runDir = str(runTemp.path());
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runDir));
        qputenv("HOME", QByteArray::fromStdString(home));
        socket = runDir + "/phone.sock";
        const std::string root = runDir + "/root";
        fs::create_directories(root + "/a/mobile");
        fs::create_directories(root + "/b");
        touch(root + "/a/mobile/hello.txt", "hello\n");
        touch(root + "/b/two.bin", std::string(5000, 'x'));
        phonesim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        phonesim.start(QString::fromStdString(bin + "/marrowdeck-phonesim"),
                       {"--listen", QString::fromStdString("unix:" + socket), "--root",
                        QString::fromStdString(root)});
        QTRY_VERIFY(fs::exists(socket));
        MainWindow& w = start();
        platform = std::make_unique<LinuxDevicePlatform>("unix:" + socket);
        connection = std::make_unique<DeviceConnection>(context->device, platform->services(),
                                                        w.deviceView(), w);
        connection->setAttachPhone([this] { return context->catalogue.attachPhone(); });
        workers = std::make_unique<WorkerRunner>(context->log, &w);
        MountCommand::Hooks hooks;
        hooks.cliPath = cli.empty() ? bin + "/marrowdeck-cli" : cli;
        hooks.address = "unix:" + socket;
        hooks.releaseLink = [this] { connection->releaseLink(); };
        hooks.resumeLink = [this] { connection->startLinkWatch(false); };
        mount = std::make_unique<MountCommand>(*context, w, *workers, hooks);
        mount->install();
        mount->setFolderChooser([this](const std::string&, const std::string& start) {
            chooserStart = start;
            return std::optional<std::string>(home + "/Phone");
        });
        connection->startLinkWatch(false);
    }
    ~MountFixture() {
        if (mount && mount->running()) {
            std::system(("fusermount3 -uz " + home + "/Phone").c_str());
        }
        mount.reset();
        if (connection) connection->stopLinkWatch();
        window.reset();
        phonesim.terminate();
        phonesim.waitForFinished();
    }

    bool linkUp() const { return context->driver.linkHandle() > 1; }
    // Who holds the phone's lock: "" when it is free (taken and given back at once).
    std::string lockHolder() const {
        PhoneLock lock;
        std::string error;
        return lock.acquire(phoneLockKey("unix:" + socket), 0, error) ? "" : error;
    }
    void dispatch(int id) { window->dispatchCommand(id); }
    bool logHas(const QString& text) const {
        for (const QString& line : logLines()) {
            if (line.contains(text)) return true;
        }
        return false;
    }

    QTemporaryDir runTemp;
    std::string bin, runDir, socket, chooserStart;
    size_t promptsBeforeMount = 0;
    QProcess phonesim;
    std::unique_ptr<LinuxDevicePlatform> platform;
    std::unique_ptr<DeviceConnection> connection;
    std::unique_ptr<WorkerRunner> workers;
    std::unique_ptr<MountCommand> mount;
};

#define REQUIRE_MOUNT()                                                           \
    do {                                                                          \
        if (!mountable()) {                                                       \
            if (qgetenv("CI") == "true") QFAIL("the mount test cannot run here"); \
            QSKIP("needs root, /dev/fuse and fusermount3");                       \
        }                                                                         \
    } while (false)

// Mounts through the menu (the folder is made after a yes) and waits for the mount.
void mountThroughMenu(MountFixture& f) {
    QTRY_VERIFY(f.linkUp());
    f.promptsBeforeMount = f.prompter.shown().size();
    f.prompter.queueAnswer(PromptAnswer::Yes);
    f.dispatch(ids::kMenuMount);
    QTRY_VERIFY_WITH_TIMEOUT(f.mount->mounted(), 10000);
}

}  // namespace

void TestMount::init() {
    QVERIFY(!qEnvironmentVariable("MDK_BIN_DIR").isEmpty());
}

void TestMount::mountShowsThePhoneInTheOtherPaneAndUnmountBringsTheLinkBack() {
    REQUIRE_MOUNT();
    MountFixture f;
    const std::string folder = f.home + "/Phone";
    QVERIFY(!f.window->menuAction(ids::kMenuUnmount)->isEnabled());
    QTRY_VERIFY(f.linkUp());
    QCOMPARE(f.lockHolder(), "the phone is in use by process " + std::to_string(::getpid()));
    mountThroughMenu(f);
    QCOMPARE(f.chooserStart, folder);
    QVERIFY(fs::is_directory(folder));
    const auto prompts = f.prompter.shown();
    QCOMPARE(prompts.size(), f.promptsBeforeMount + 1);
    QCOMPARE(prompts.back().text, "The folder " + folder + " does not exist. Make it?");
    QVERIFY(isMountPoint(folder));
    // The pane opposite the active one lists the phone's volumes and seems.
    const Side shown = otherSide(f.context->panes.active());
    QCOMPARE(f.context->panes.pcPath(shown), folder);
    for (const char* name : {"a", "b", "seems"}) QVERIFY2(f.names(shown).contains(name), name);
    // The window's link is given up: the child has the phone.
    QVERIFY(!f.linkUp());
    QCOMPARE(f.lockHolder(),
             "the phone is in use by process " + std::to_string(f.mount->childProcessId()));
    QVERIFY(!f.window->menuAction(ids::kMenuMount)->isEnabled());
    QVERIFY(f.window->menuAction(ids::kMenuUnmount)->isEnabled());

    f.dispatch(ids::kMenuUnmount);
    QTRY_VERIFY(!f.mount->running());
    QVERIFY(!isMountPoint(folder));
    QTRY_VERIFY(f.logHas("The phone is unmounted from " + QString::fromStdString(folder)));
    QTRY_VERIFY_WITH_TIMEOUT(f.linkUp(), 10000);
    QCOMPARE(f.lockHolder(), "the phone is in use by process " + std::to_string(::getpid()));
    QCOMPARE(f.context->panes.pcPath(shown), folder);
    QVERIFY(!f.names(shown).contains("seems"));
    QVERIFY(f.window->menuAction(ids::kMenuMount)->isEnabled());
}

void TestMount::closingTheWindowUnmounts() {
    REQUIRE_MOUNT();
    MountFixture f;
    const std::string folder = f.home + "/Phone";
    mountThroughMenu(f);
    QVERIFY(isMountPoint(folder));
    f.window->close();
    QVERIFY(!f.mount->running());
    QVERIFY(!isMountPoint(folder));
    QCoreApplication::processEvents();
    QVERIFY(f.logHas("The phone is unmounted from " + QString::fromStdString(folder)));
}

void TestMount::aMountThatEndsByItselfIsLoggedAndTheLinkComesBack() {
    REQUIRE_MOUNT();
    MountFixture f;
    const std::string folder = f.home + "/Phone";
    mountThroughMenu(f);
    // The phone goes away: the mount ends with its reason, and the window's watch is back
    // looking for the phone.
    f.phonesim.kill();
    f.phonesim.waitForFinished();
    // Listings come from the catalogue: reading a file is what meets the silent phone.
    QVERIFY(fs::exists(folder + "/b/two.bin"));
    QCOMPARE(readError(folder + "/b/two.bin"), EIO);
    QTRY_VERIFY_WITH_TIMEOUT(!f.mount->running(), 15000);
    QTRY_VERIFY(!isMountPoint(folder));
    QTRY_VERIFY(f.logHas("The mount on " + QString::fromStdString(folder) + " ended: "));
    QVERIFY(!f.logHas("The phone is unmounted from"));
    QVERIFY(f.logHas(" ended: the phone stopped answering (cannot read /b/two.bin"));
    QVERIFY(f.connection->watch().running());
    QVERIFY(f.window->menuAction(ids::kMenuMount)->isEnabled());
}

void TestMount::refusingToMakeTheFolderMountsNothing() {
    REQUIRE_MOUNT();
    MountFixture f;
    QTRY_VERIFY(f.linkUp());
    f.prompter.queueAnswer(PromptAnswer::No);
    f.dispatch(ids::kMenuMount);
    QVERIFY(!f.mount->running());
    QVERIFY(!fs::exists(f.home + "/Phone"));
    QVERIFY(f.linkUp());
}

// Needs neither root nor /dev/fuse: the child never starts.
void TestMount::aToolThatCannotStartGivesTheLinkBack() {
    MountFixture f("/no/such/marrowdeck-cli");
    QTRY_VERIFY(f.linkUp());
    f.prompter.queueAnswer(PromptAnswer::Yes);
    f.dispatch(ids::kMenuMount);
    QVERIFY(!f.mount->running());
    QVERIFY(f.logHas("Cannot mount the phone: cannot start /no/such/marrowdeck-cli"));
    QTRY_VERIFY_WITH_TIMEOUT(f.linkUp(), 10000);
    QVERIFY(f.window->menuAction(ids::kMenuMount)->isEnabled());
    QVERIFY(!f.window->menuAction(ids::kMenuUnmount)->isEnabled());
}

}  // namespace mdk::test

QTEST_MAIN(mdk::test::TestMount)
#include "tst_mount.moc"
