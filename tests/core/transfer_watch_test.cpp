// The progress of phone file transfers (bytes, speed and time left from an injected clock,
// "file k of n") and Cancel between two blocks: nothing partial is handed out or left on
// the phone.
#include <gtest/gtest.h>

#include "p2k/file_transfer.h"
#include "p2k/transfer_watch.h"
#include "p2k/transport.h"
#include "p2k_test_support.h"

namespace mdk::test {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(TransferTexts, BytesSpeedAndTimeLeft) {
    EXPECT_EQ(byteCountText(0), "0 B");
    EXPECT_EQ(byteCountText(1023), "1023 B");
    EXPECT_EQ(byteCountText(1536), "1.5 KB");
    EXPECT_EQ(byteCountText(3u << 20), "3.0 MB");
    EXPECT_EQ(byteCountText(5ull << 30), "5.0 GB");

    struct Case {
        uint64_t done, total, elapsedMs;
        const char* speed;
        const char* left;
    };
    const Case cases[] = {
        {0, 1000, 2000, "", ""},                      // nothing moved yet
        {4096, 8192, 499, "", ""},                    // too early to tell
        {4096, 8192, 1000, "4.0 KB/s", "0:01 left"},  // half done in a second
        {10240, 10240, 2000, "5.0 KB/s", ""},         // nothing left
        {1024, 1024 * 100, 1000, "1.0 KB/s", "1:39 left"},
        {1024, 1024 * 4000, 1000, "1.0 KB/s", "1:06:39 left"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.done) + " of " + std::to_string(c.total));
        EXPECT_EQ(speedText(c.done, c.elapsedMs), c.speed);
        EXPECT_EQ(remainingText(c.done, c.total, c.elapsedMs), c.left);
    }
}

TEST(TransferTexts, ProgressLineOfOneFileAndOfARun) {
    TransferSnapshot one;
    one.fileIndex = 1;
    one.fileCount = 1;
    one.fileName = "/a/x.mp3";
    one.fileDone = one.runDone = 2048;
    one.fileSize = one.runTotal = 8192;
    one.elapsedMs = 1000;
    EXPECT_EQ(transferProgressText(one), "/a/x.mp3  2.0 KB of 8.0 KB  2.0 KB/s  0:03 left");

    TransferSnapshot run = one;
    run.fileIndex = 2;
    run.fileCount = 3;
    run.fileDone = 1024;
    run.runDone = 4096;
    run.runTotal = 20480;
    // The time left is the run's: 16 KB at 4 KB/s.
    EXPECT_EQ(transferProgressText(run),
              "file 2 of 3  /a/x.mp3  1.0 KB of 8.0 KB  4.0 KB/s  0:04 left  (4.0 KB of 20.0 KB in "
              "all)");
}

TEST(TransferWatchState, FilesOfARunAndTheClock) {
    ManualClock clock;
    TransferWatch watch(clock);
    watch.beginRun(2, 3000);
    watch.beginFile("/a/1", 1000);
    clock.advance(500);
    watch.addBytes(1000);
    watch.beginFile("/a/2", 2000);
    clock.advance(500);
    watch.addBytes(500);
    const TransferSnapshot s = watch.snapshot();
    EXPECT_EQ(s.fileIndex, 2u);
    EXPECT_EQ(s.fileCount, 2u);
    EXPECT_EQ(s.fileName, "/a/2");
    EXPECT_EQ(s.fileDone, 500u);
    EXPECT_EQ(s.runDone, 1500u);
    EXPECT_EQ(s.runTotal, 3000u);
    EXPECT_EQ(s.elapsedMs, 1000u);

    // A file outside a run is a run of its own; a new run forgets an earlier Cancel.
    watch.requestCancel();
    EXPECT_TRUE(watch.cancelRequested());
    watch.beginRun(1, 10);
    EXPECT_FALSE(watch.cancelRequested());
    std::atomic<bool> interrupted{false};
    TransferWatch external(clock, &interrupted);
    external.beginFile("/a/3", 10);
    EXPECT_EQ(external.snapshot().fileCount, 1u);
    EXPECT_FALSE(external.cancelRequested());
    interrupted = true;
    EXPECT_TRUE(external.cancelRequested());
}

// Asks the watch to stop once `after` bytes of the file have moved.
void cancelAfter(TransferWatch& watch, uint64_t after) {
    watch.setObserver([&watch, after](const TransferSnapshot& s) {
        if (s.fileDone >= after) watch.requestCancel();
    });
}

TEST(TransferCancel, DownloadStopsBetweenBlocksAndHandsOutNothing) {
    PhoneFixture f;
    const Bytes content = patternBytes(5000, 3);
    ASSERT_TRUE(f.model.addFile("/a/big.bin", content));
    TransferWatch watch(f.clock);
    cancelAfter(watch, 2048);
    f.context.commands.setTransferWatch(&watch);
    const auto data = downloadPhoneFile(f.context.commands, "/a/big.bin", 0, 5000);
    EXPECT_FALSE(data.has_value());
    EXPECT_EQ(f.context.transport.failure().kind, FailureKind::Cancelled);
    EXPECT_EQ(f.context.transport.failureText(), "cancelled by the user");
    const auto sent = f.link->commands();
    EXPECT_EQ(fileCommands(sent, CommandSet::kRead).size(), 2u) << "stopped after two blocks";
    EXPECT_EQ(fileCommands(sent, CommandSet::kClose).size(), 1u) << "the phone file is closed";
    EXPECT_EQ(watch.snapshot().fileDone, 2048u);
    EXPECT_EQ(f.model.fileBytes("/a/big.bin"), content);

    // The next transfer, with a new run, goes through.
    watch.setObserver({});
    watch.beginRun(1, 5000);
    EXPECT_EQ(downloadPhoneFile(f.context.commands, "/a/big.bin", 0, 5000), content);
}

TEST(TransferCancel, UploadStopsAndThePartialFileIsRemoved) {
    struct Case {
        const char* name;
        uint64_t cancelAfter;  // 0: cancelled before the first block
        size_t writes;
    };
    const Case cases[] = {{"mid-way", 1024, 1}, {"before the first block", 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneFixture f;
        f.context.commands.probeCommandSet();  // P2k05: a refused open shows on the first write
        TransferWatch watch(f.clock);
        if (c.cancelAfter == 0) watch.requestCancel();
        if (c.cancelAfter > 0) cancelAfter(watch, c.cancelAfter);
        f.context.commands.setTransferWatch(&watch);
        f.link->clear();
        const UploadResult upload =
            uploadPhoneFileReporting(f.context.commands, "/a/up.bin", patternBytes(4000, 1));
        EXPECT_NE(upload.result, 0);
        EXPECT_EQ(upload.partial, PartialFile::Removed);
        EXPECT_EQ(upload.reason, "cancelled by the user");
        EXPECT_FALSE(f.model.fileBytes("/a/up.bin").has_value());
        const auto sent = f.link->commands();
        EXPECT_EQ(fileCommands(sent, CommandSet::kWrite).size(), c.writes);
        EXPECT_TRUE(fileCommands(sent, CommandSet::kCreateFolder).empty())
            << "a cancelled upload is not tried again";
    }
}

}  // namespace
}  // namespace mdk::test
