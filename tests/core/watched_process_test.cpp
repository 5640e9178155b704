// WatchedProcess: the error output line by line, the exit code, an end that a program left
// behind (holding the pipe) does not delay, and SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/watched_process.h"

namespace mdk::test {
namespace {

// Collects the reports of one run.
struct Reports {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> lines;
    int exitCode = -1;
    bool ended = false;

    WatchedProcess::Events events() {
        return {[this](const std::string& line) {
                    std::lock_guard lock(mutex);
                    lines.push_back(line);
                },
                [this](int code) {
                    std::lock_guard lock(mutex);
                    exitCode = code;
                    ended = true;
                    changed.notify_all();
                }};
    }
    bool waitForEnd(std::chrono::seconds limit) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [this] { return ended; });
    }
};

struct ShellCase {
    const char* script;
    std::vector<std::string> lines;
    int exitCode;
};

TEST(WatchedProcess, ErrorLinesAndExitCode) {
    const ShellCase cases[] = {
        {"echo one >&2; echo out; printf 'two\\nthree' >&2; exit 3", {"one", "two", "three"}, 3},
        {"exit 0", {}, 0},
        {"printf 'a\\n\\nb\\n' >&2", {"a", "", "b"}, 0},
        {"kill -TERM $$", {}, 128 + SIGTERM},
    };
    for (const ShellCase& c : cases) {
        SCOPED_TRACE(c.script);
        WatchedProcess process;
        Reports reports;
        std::string error;
        ASSERT_TRUE(process.start({"/bin/sh", "-c", c.script}, reports.events(), error)) << error;
        ASSERT_TRUE(reports.waitForEnd(std::chrono::seconds(10)));
        process.wait();
        EXPECT_FALSE(process.running());
        EXPECT_EQ(reports.lines, c.lines);
        EXPECT_EQ(reports.exitCode, c.exitCode);
    }
}

TEST(WatchedProcess, AProgramLeftBehindDoesNotHoldTheEnd) {
    WatchedProcess process;
    Reports reports;
    std::string error;
    // The background sleep keeps the error pipe open long after the shell has ended.
    ASSERT_TRUE(process.start({"/bin/sh", "-c", "echo started >&2; sleep 4 & exit 5"},
                              reports.events(), error));
    ASSERT_TRUE(reports.waitForEnd(std::chrono::seconds(2)));
    process.wait();
    EXPECT_EQ(reports.exitCode, 5);
    EXPECT_EQ(reports.lines, std::vector<std::string>{"started"});
}

TEST(WatchedProcess, TerminateEndsItAndAMissingProgramIsAnError) {
    WatchedProcess process;
    Reports reports;
    std::string error;
    ASSERT_TRUE(process.start({"sleep", "30"}, reports.events(), error)) << error;  // on PATH
    EXPECT_TRUE(process.running());
    EXPECT_GT(process.processId(), 0);
    EXPECT_FALSE(process.start({"sleep", "1"}, {}, error));  // one at a time
    process.terminate();
    ASSERT_TRUE(reports.waitForEnd(std::chrono::seconds(10)));
    EXPECT_EQ(reports.exitCode, 128 + SIGTERM);

    WatchedProcess missing;
    EXPECT_FALSE(missing.start({"/no/such/program"}, {}, error));
    EXPECT_NE(error.find("/no/such/program"), std::string::npos) << error;
    EXPECT_FALSE(missing.running());
    EXPECT_FALSE(missing.start({}, {}, error));
}

}  // namespace
}  // namespace mdk::test
