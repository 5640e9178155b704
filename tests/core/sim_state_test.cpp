// The simulated phone's state dump, its contents from a folder on disk, and the
// marrowdeck-phonesim command line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/socket_io.h"
#include "sim/phonesim_options.h"
#include "sim/root_folder.h"
#include "sim/state_dump.h"
#include "sim_payloads.h"

namespace {

using namespace mdk::sim;
namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/mdk_sim_XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

TEST(SimState, Crc32IsZlibs) {
    const std::string text = "123456789";
    EXPECT_EQ(crc32({reinterpret_cast<const uint8_t*>(text.data()), text.size()}), 0xCBF43926u);
    EXPECT_EQ(crc32({}), 0u);
}

TEST(SimState, DumpListsPhoneVolumesFilesSeemsAndCounts) {
    PhoneModel model(PhoneKind::Cdma, "V3c\tX");
    model.clearFiles();
    model.addVolume("/a", 1000);
    ASSERT_TRUE(model.addFile("/a/d/x\\y.bin", {'1', '2', '3', '4', '5', '6', '7', '8', '9'}));
    model.execute(0x22, {});
    const std::string expected =
        "# marrowdeck-phonesim state 1\n"
        "phone\tcdma\tV3c\\x09X\n"
        "volume\t/a\t1000\t991\n"
        "folder\t07001000\t/a/d\n"
        "file\t07000400\t9\tCBF43926\t/a/d/x\\x5Cy.bin\n"
        "seem\t0004\t0001\t8\t0102030000000005\n"
        "seem\t2827\t0001\t20\t5600330063000900580000000000000000000000\n"
        "count\t0022\t1\n";
    EXPECT_EQ(formatState(model), expected);
}

TEST(SimState, WriteStateReplacesTheFileWhole) {
    TempDir dir;
    PhoneModel model;
    const fs::path file = dir.path() / "state.txt";
    writeText(file, "old contents that are longer than nothing\n");
    std::string error;
    ASSERT_TRUE(writeState(model, file.string(), error)) << error;
    EXPECT_EQ(readText(file), formatState(model));
    EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
    EXPECT_FALSE(writeState(model, (dir.path() / "missing" / "state.txt").string(), error));
    EXPECT_FALSE(error.empty());
}

TEST(SimRoot, OneLetterFoldersBecomeVolumes) {
    TempDir dir;
    writeText(dir.path() / "a/mobile/x.txt", "hello");
    writeText(dir.path() / "b/card.bin", std::string(3000, 'z'));
    writeText(dir.path() / "data/ignored.txt", "not a volume");
    fs::create_directories(dir.path() / "a/empty");
    fs::create_symlink("/etc/passwd", dir.path() / "a/link");

    PhoneModel model;
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(loadRootFolder(model, dir.path().string(), error, warnings)) << error;
    std::vector<std::string> volumes;
    for (const auto& v : model.volumes()) volumes.push_back(v.name);
    std::sort(volumes.begin(), volumes.end());
    EXPECT_EQ(volumes, (std::vector<std::string>{"/a", "/b"}));
    EXPECT_EQ(model.fileBytes("/a/mobile/x.txt"), (std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(model.fileBytes("/b/card.bin")->size(), 3000u);
    EXPECT_FALSE(model.fileBytes("/a/link"));
    EXPECT_EQ(warnings.size(), 1u);
    std::vector<std::string> folders;
    for (const auto& e : model.files()) {
        if (e.folder) folders.push_back(e.path);
    }
    EXPECT_EQ(folders, (std::vector<std::string>{"/a/empty", "/a/mobile"}));
    EXPECT_GT(*model.freeSpace("/a"), 0u);
    EXPECT_TRUE(fs::exists(dir.path() / "a/mobile/x.txt"));  // the disk is only read
}

TEST(SimRoot, FolderWithoutVolumesIsAnError) {
    TempDir dir;
    writeText(dir.path() / "music/x.mp3", "x");
    PhoneModel model;
    std::string error;
    std::vector<std::string> warnings;
    EXPECT_FALSE(loadRootFolder(model, dir.path().string(), error, warnings));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(loadRootFolder(model, (dir.path() / "none").string(), error, warnings));
    EXPECT_FALSE(model.volumes().empty());  // the phone keeps what it had
}

TEST(SimRoot, LinuxPhoneTakesItsMountPoints) {
    TempDir dir;
    writeText(dir.path() / "mmc/mmca1/music/a.mp3", "abc");
    writeText(dir.path() / "ezxlocal/x.txt", "x");
    PhoneModel model(PhoneKind::Linux, "ROKR E6");
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(loadRootFolder(model, dir.path().string(), error, warnings)) << error;
    EXPECT_EQ(model.volumes().size(), 3u);
    EXPECT_TRUE(model.fileBytes("/mmc/mmca1/music/a.mp3"));
    EXPECT_TRUE(model.fileBytes("/ezxlocal/x.txt"));
}

TEST(SimOptions, GoodAndBadCommandLines) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
    };
    const Case cases[] = {
        {{"--listen", "unix:/tmp/p"}, true},
        {{"--usblan", "tcp:127.0.0.1:0", "--modem", "--stride", "44"}, true},
        {{"--listen", "unix:/tmp/p", "--fault", "drop=3", "--fault", "error-status=9"}, true},
        {{"--listen", "unix:/tmp/p", "--records-per-block", "244"}, true},
        {{"--listen", "unix:/tmp/p", "--fault", "stale-sequence=7", "--fault", "fail-read=2",
          "--fault", "silent-after=0", "--fault", "short-block=1"},
         true},
        {{}, false},
        {{"--listen"}, false},
        {{"--listen", "unix:/tmp/p", "--stride", "100"}, false},
        {{"--listen", "unix:/tmp/p", "--kind", "nokia"}, false},
        {{"--listen", "unix:/tmp/p", "--kind", "linux"}, false},
        {{"--listen", "unix:/tmp/p", "--latency", "-5"}, false},
        {{"--listen", "unix:/tmp/p", "--records-per-block", "245"}, false},
        {{"--listen", "unix:/tmp/p", "--records-per-block", "0"}, false},
        {{"--listen", "unix:/tmp/p", "--fault", "error-status=6"}, false},
        {{"--listen", "unix:/tmp/p", "--fault", "melt"}, false},
        {{"--listen", "unix:/tmp/p", "--fault", "fail-read"}, false},
        {{"--listen", "unix:/tmp/p", "--fault", "short-block=0"}, false},
        {{"--listen", "unix:/tmp/p", "--fault", "silent-after=x"}, false},
        {{"--listen", "unix:/tmp/p", "--fault", "stale-sequence=0"}, false},
        {{"--listen", "unix:/tmp/p", "extra"}, false},
    };
    for (const Case& c : cases) {
        PhonesimOptions options;
        std::string error;
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        EXPECT_EQ(parsePhonesimOptions(c.args, options, error), c.ok) << line << error;
        EXPECT_EQ(error.empty(), c.ok) << line;
    }
}

TEST(SimOptions, UsblanAloneMeansALinuxPhone) {
    PhonesimOptions options;
    std::string error;
    ASSERT_TRUE(parsePhonesimOptions({"--usblan", "tcp:127.0.0.1:0"}, options, error));
    EXPECT_EQ(options.kind, PhoneKind::Linux);
    EXPECT_EQ(options.model, "ROKR E6");
    ASSERT_TRUE(parsePhonesimOptions(
        {"--usblan", "tcp:127.0.0.1:0", "--kind", "p2k05", "--fault", "three-waiting"}, options,
        error));
    EXPECT_EQ(options.kind, PhoneKind::P2k05Gsm);
    EXPECT_EQ(options.faults.threeWaitingPolls, 1);
}

// Runs marrowdeck-phonesim with its standard output on a pipe.
struct Phonesim {
    pid_t pid = -1;
    int out = -1;

    explicit Phonesim(const std::vector<std::string>& args) {
        const char* binDir = std::getenv("MDK_BIN_DIR");
        const std::string program = std::string(binDir ? binDir : "bin") + "/marrowdeck-phonesim";
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(pipeFds[1], 1);
            const int quiet = ::open("/dev/null", O_WRONLY);
            if (quiet >= 0) ::dup2(quiet, 2);
            ::close(pipeFds[0]);
            std::vector<char*> argv = {const_cast<char*>(program.c_str())};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        out = pipeFds[0];
    }
    ~Phonesim() {
        if (pid > 0) stop(SIGKILL);
        if (out >= 0) ::close(out);
    }
    // Standard output up to the "ready" line (or its end).
    std::string readyOutput() {
        std::string text;
        char c = 0;
        while (text.find("ready\n") == std::string::npos && ::read(out, &c, 1) == 1) text += c;
        return text;
    }
    int stop(int signal) {
        ::kill(pid, signal);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

TEST(SimPhonesim, UploadOverUsblanShowsInTheDumpWrittenOnSigterm) {
    TempDir dir;
    writeText(dir.path() / "root/a/old.bin", std::string(5000, 'o'));
    const fs::path dump = dir.path() / "state.txt";
    Phonesim sim({"--usblan", "tcp:127.0.0.1:0", "--kind", "p2k05", "--root",
                  (dir.path() / "root").string(), "--dump-state", dump.string()});
    ASSERT_GT(sim.pid, 0);
    const std::string output = sim.readyOutput();
    const size_t at = output.find("usblan tcp:127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << output;
    const std::string address = output.substr(at + 7, output.find('\n', at) - at - 7);

    std::string error;
    const int fd = mdk::net::connectAddress(address, error);
    ASSERT_GE(fd, 0) << error;
    for (const auto& payload : {simtest::openFile("/a/old.bin", 0xFFFFFFFF),
                                simtest::writeFile({'1', '2', '3', '4', '5', '6', '7', '8', '9'}),
                                simtest::closeFile()}) {
        std::vector<uint8_t> frame;
        mdk::bytes::appendBe16(frame, 1);
        mdk::bytes::appendBe16(frame, 0x4A);
        mdk::bytes::appendBe32(frame, 0);
        mdk::bytes::appendBe32(frame, static_cast<uint32_t>(payload.size()));
        frame.insert(frame.end(), payload.begin(), payload.end());
        ASSERT_TRUE(mdk::net::sendAll(fd, frame.data(), frame.size()));
        uint8_t header[12];
        ASSERT_TRUE(mdk::net::receiveExact(fd, header, sizeof header, 3000));
        std::vector<uint8_t> data(mdk::bytes::be16(header + 10));
        ASSERT_TRUE(mdk::net::receiveExact(fd, data.data(), data.size(), 3000));
    }
    ::close(fd);

    EXPECT_EQ(sim.stop(SIGTERM), 0);
    const std::string state = readText(dump);
    EXPECT_NE(state.find("file\t07000400\t9\tCBF43926\t/a/old.bin\n"), std::string::npos) << state;
    EXPECT_EQ(readText(dir.path() / "root/a/old.bin"), std::string(5000, 'o'));
}

TEST(SimPhonesim, BadArgumentsExitWithTwo) {
    Phonesim sim({"--listen", "unix:/tmp/x", "--stride", "99"});
    ASSERT_GT(sim.pid, 0);
    int status = 0;
    ::waitpid(sim.pid, &status, 0);
    sim.pid = -1;
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
