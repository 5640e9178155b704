// The P2k command set: payloads, success rules, the file read and write loops, seems,
// search start forms, the probe and the session sequence.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <unistd.h>

#include <cerrno>

#include "p2k/command_set.h"
#include "p2k/transport.h"
#include "p2k/usb_driver.h"
#include "p2k_test_support.h"

namespace mdk::test {
namespace {

using sim::PhoneKind;
using Bytes = std::vector<uint8_t>;

constexpr const char* kFile = "/a/f.bin";

// Opens kFile on the simulated phone and positions it at 0.
void openForReading(PhoneFixture& f) {
    ASSERT_EQ(f.context.commands.phoneOpenFile(kFile, 0xFFFFFFFF), 0);
    ASSERT_EQ(f.context.commands.phoneSeekFile(0, 0), 0);
    f.link->clear();
}

// ---- reading a file --------------------------------------------------------------------

TEST(ReadFile, RequestsFollowTheBlockRuleAndTheWholeFileArrives) {
    struct Case {
        uint32_t size;
        std::vector<uint32_t> requests;
    };
    const Case cases[] = {
        {2048, {1024, 1024, 0}},
        {100, {100}},
        {1025, {1024, 1}},
        {1, {1}},
        {1024, {1024, 0}},
        {2500, {1024, 1024, 452}},
        {3073, {1024, 1024, 1024, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        PhoneFixture f;
        Bytes content = patternBytes(c.size, 7);
        ASSERT_FALSE(content.empty());
        content.back() = 0x01;  // a last byte that reads like the one-byte refusal
        ASSERT_TRUE(f.model.addFile(kFile, content));
        openForReading(f);
        RecordingProgress progress;
        f.context.commands.setProgress(&progress);
        Bytes buffer;
        EXPECT_EQ(f.context.commands.phoneReadFile(buffer, c.size), 0);
        EXPECT_EQ(buffer, content);
        EXPECT_EQ(f.context.commands.fileReadTotal(), c.size);
        EXPECT_EQ(requestCounts(fileCommands(f.link->commands(), CommandSet::kRead)), c.requests);
        EXPECT_EQ(progress.steps(), static_cast<int>(c.requests.size())) << "one step per reply";
    }
}

TEST(ReadFile, SizeZeroFailsWithoutSending) {
    PhoneFixture f;
    Bytes buffer{1, 2};
    EXPECT_EQ(f.context.commands.phoneReadFile(buffer, 0), -1);
    EXPECT_TRUE(buffer.empty());
    EXPECT_TRUE(f.link->commands().empty());
}

TEST(ReadFile, OneByteReplyToALargerRequestIsARefusal) {
    PhoneFixture f;  // no file open: the phone answers every read with the byte 01
    Bytes buffer;
    EXPECT_EQ(f.context.commands.phoneReadFile(buffer, 2048), -1);
    EXPECT_EQ(f.context.commands.fileReadTotal(), 0u);
    EXPECT_TRUE(buffer.empty());
}

TEST(ReadFile, RefusalAfterAGoodBlockDiscardsWhatArrived) {
    ScriptedFixture s;
    s.phone.queue(kReplyData, Bytes(1024, 0x33));
    s.phone.queue(kReplyData, {0x01});
    Bytes buffer;
    EXPECT_EQ(s.f.context.commands.phoneReadFile(buffer, 2048), -1);
    EXPECT_EQ(s.f.context.commands.fileReadTotal(), 0u);
    EXPECT_TRUE(buffer.empty());
}

TEST(ReadFile, FailedExchangeFailsTheRead) {
    ScriptedFixture s;
    s.phone.queue(kReplyData, Bytes(1024, 0x33));
    s.phone.queue(kReplyError);
    Bytes buffer;
    EXPECT_EQ(s.f.context.commands.phoneReadFile(buffer, 4096), -1);
    EXPECT_EQ(s.f.context.commands.fileReadTotal(), 0u);
}

TEST(ReadFile, RepliesNeverAppendPastTheSizeAsked) {
    struct Case {
        const char* name;
        uint32_t size;
        std::vector<size_t> replies;
    };
    const Case cases[] = {
        {"one oversized reply", 100, {3000}},
        {"a full block answers the closing request", 2048, {1024, 1024, 1024}},
        {"oversized last block", 1500, {1024, 4000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFixture s;
        for (size_t n : c.replies) s.phone.queue(kReplyData, Bytes(n, 0x5A));
        Bytes buffer;
        EXPECT_EQ(s.f.context.commands.phoneReadFile(buffer, c.size), 0);
        EXPECT_EQ(buffer.size(), c.size);
        EXPECT_EQ(s.f.context.commands.fileReadTotal(), c.size);
        EXPECT_EQ(fileCommands(s.phone.commands, CommandSet::kRead).size(), c.replies.size());
    }
}

TEST(ReadFile, ShortReplyEndsTheReadWithWhatCame) {
    ScriptedFixture s;
    s.phone.queue(kReplyData, Bytes(1024, 1));
    s.phone.queue(kReplyData, Bytes(10, 2));
    Bytes buffer;
    EXPECT_EQ(s.f.context.commands.phoneReadFile(buffer, 5000), 0);
    EXPECT_EQ(buffer.size(), 1034u);
    EXPECT_EQ(s.f.context.commands.fileReadTotal(), 1034u) << "the bytes delivered, not asked";
}

// ---- writing a file --------------------------------------------------------------------

TEST(WriteFile, ChunksOf1024AndAProgressStepEach) {
    PhoneFixture f;
    const Bytes data = patternBytes(2500, 3);
    ASSERT_EQ(f.context.commands.phoneOpenFile(kFile, 4), 0);
    f.link->clear();
    RecordingProgress progress;
    f.context.commands.setProgress(&progress);
    ASSERT_EQ(f.context.commands.phoneWriteFile(data), 0);
    ASSERT_EQ(f.context.commands.phoneCloseFile(), 0);

    auto writes = fileCommands(f.link->commands(), CommandSet::kWrite);
    EXPECT_EQ(requestCounts(writes), (std::vector<uint32_t>{1024, 1024, 452}));
    Bytes sent;
    for (const auto& w : writes) {
        EXPECT_EQ(w.payload.size(), 8 + bytes::be32(&w.payload[4]));
        sent.insert(sent.end(), w.payload.begin() + 8, w.payload.end());
    }
    EXPECT_EQ(sent, data);
    EXPECT_EQ(progress.steps(), 3);
    EXPECT_EQ(f.model.fileBytes(kFile), data);
}

TEST(WriteFile, EmptyDataSucceedsWithoutSending) {
    PhoneFixture f;
    EXPECT_EQ(f.context.commands.phoneWriteFile({}), 0);
    EXPECT_TRUE(f.link->commands().empty());
}

TEST(WriteFile, OneByteReplyCountsOnlyWhenItIsSix) {
    struct Case {
        Bytes reply;
        int result;
        size_t chunksSent;
    };
    const Case cases[] = {
        {{6}, 0, 3},  {{1}, -1, 1},
        {{0}, -1, 1}, {{1, 0}, 0, 3},  // only a reply of exactly one byte is judged
        {{}, 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.reply));
        ScriptedFixture s;
        for (int i = 0; i < 3; ++i) s.phone.queue(kReplyData, c.reply);
        EXPECT_EQ(s.f.context.commands.phoneWriteFile(Bytes(2500, 9)), c.result);
        EXPECT_EQ(fileCommands(s.phone.commands, CommandSet::kWrite).size(), c.chunksSent);
    }
}

// This process's own name: test programs running side by side write phone files too.
const std::string kSuspendName = "/SuspendTdwa-test-" + std::to_string(::getpid());

bool suspendSemaphoreExists() {
    sem_t* sem = ::sem_open(kSuspendName.c_str(), 0);
    if (sem == SEM_FAILED) return false;
    ::sem_close(sem);
    return true;
}

TEST(WriteFile, SuspendSemaphoreExistsForTheWholeWriteOnly) {
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused write" : "good write");
        PhoneFixture f;
        f.context.commands.setSuspendSemaphoreName(kSuspendName);
        ASSERT_EQ(f.context.commands.phoneOpenFile(kFile, 4), 0);
        if (refused) f.phone.faults().errorStatus = kReplyError;
        // A stale one from an earlier crash must not confuse anything.
        sem_t* stale = ::sem_open(kSuspendName.c_str(), O_CREAT, 0644, 0);
        ASSERT_NE(stale, SEM_FAILED);
        ::sem_close(stale);
        int requests = 0;
        int seenDuring = 0;
        f.link->onRequest = [&](uint32_t, std::span<const uint8_t>) {
            ++requests;
            if (suspendSemaphoreExists()) ++seenDuring;
        };
        EXPECT_EQ(f.context.commands.phoneWriteFile(Bytes(2500, 1)), refused ? -1 : 0);
        f.link->onRequest = nullptr;
        EXPECT_GT(requests, 0);
        EXPECT_EQ(seenDuring, requests);
        EXPECT_FALSE(suspendSemaphoreExists());
        EXPECT_EQ(errno, ENOENT);
    }
}

// ---- plain replies: seek, close, delete, volumes ---------------------------------------

TEST(PlainReplies, SeekCloseAndDeleteFollowTheOneByteRule) {
    struct Case {
        uint8_t status;
        Bytes reply;
        int result;
    };
    const Case cases[] = {
        {kReplyNoData, {}, 0}, {kReplyData, {0, 0}, 0}, {kReplyData, {6, 1}, 0},
        {kReplyData, {1}, -1}, {kReplyData, {6}, -1},   {kReplyData, {1, 0}, -1},
        {kReplyError, {}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.reply) + " status " + std::to_string(c.status));
        ScriptedFixture s;
        for (int i = 0; i < 3; ++i) s.phone.queue(c.status, c.reply);
        auto& commands = s.f.context.commands;
        EXPECT_EQ(commands.phoneSeekFile(0, 0), c.result);
        EXPECT_EQ(commands.phoneCloseFile(), c.result);
        EXPECT_EQ(commands.phoneDeleteFile("/a/x"), c.result);
    }
}

TEST(PlainReplies, PayloadsOfSeekCloseAndDelete) {
    ScriptedFixture s;
    auto& commands = s.f.context.commands;
    commands.phoneSeekFile(0x01020304, 2);
    commands.phoneCloseFile();
    commands.phoneDeleteFile("/a/x");
    ASSERT_EQ(s.phone.commands.size(), 3u);
    EXPECT_EQ(s.phone.commands[0].payload, (Bytes{0, 0, 0, 3, 1, 2, 3, 4, 2}));
    EXPECT_EQ(s.phone.commands[1].payload, (Bytes{0, 0, 0, 4}));
    EXPECT_EQ(s.phone.commands[2].payload, (Bytes{0, 0, 0, 5, '/', 'a', '/', 'x'}));
}

TEST(PlainReplies, VolumeListIsCutTo512BytesAndJudged) {
    struct Case {
        Bytes reply;
        int result;
        size_t kept;
    };
    const Case cases[] = {
        {Bytes(600, 0x20), 0, 512},
        {{0, '/', 0, 'a', 0, 0}, 0, 6},
        {{0x20}, -1, 1},
        {{6, 0, 0, 0}, -1, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.size());
        ScriptedFixture s;
        s.phone.queue(kReplyData, c.reply);
        Bytes buffer;
        EXPECT_EQ(s.f.context.commands.phoneListVolumes(buffer), c.result);
        EXPECT_LE(buffer.size(), 512u);
        if (c.result == 0) {
            EXPECT_EQ(buffer.size(), c.kept);
        }
    }
}

// ---- names and values ------------------------------------------------------------------

TEST(NamedCommands, EmptyNamesAreRefusedWithoutSending) {
    PhoneFixture f;
    auto& commands = f.context.commands;
    EXPECT_EQ(commands.phoneOpenFile("", 4), -1);
    EXPECT_EQ(commands.phoneDeleteFile(""), -1);
    EXPECT_EQ(commands.phoneCreateFolder("", 4), -1);
    EXPECT_EQ(commands.phoneRemoveFolder("", 4), -1);
    EXPECT_TRUE(f.link->commands().empty());
}

TEST(NamedCommands, ValueIsAllOnesInMode3Only) {
    for (int mode : {0, 3}) {
        SCOPED_TRACE(mode);
        ScriptedFixture s;
        s.f.context.runSettings.change([&](RunValues& values) { values.connectionMode = mode; });
        auto& commands = s.f.context.commands;
        commands.phoneOpenFile("/a/x", 4);
        commands.phoneCreateFolder("/a/d", 4);
        commands.phoneRemoveFolder("/a/d", 4);
        const Bytes value = mode == 3 ? Bytes{0xFF, 0xFF, 0xFF, 0xFF} : Bytes{0, 0, 0, 4};
        const uint8_t subs[3] = {0, 14, 15};
        ASSERT_EQ(s.phone.commands.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            const Bytes& p = s.phone.commands[i].payload;
            ASSERT_GE(p.size(), 8u);
            EXPECT_EQ(p[3], subs[i]);
            EXPECT_EQ(Bytes(p.begin() + 4, p.begin() + 8), value);
            EXPECT_EQ(p.size(), 8u + 4u) << "no terminating zero after the name";
        }
    }
}

TEST(NamedCommands, RefusalComesFromTheReplyStatus) {
    PhoneFixture f;
    auto& commands = f.context.commands;
    EXPECT_EQ(commands.phoneOpenFile("/z/none", 4), -1) << "no volume /z";
    EXPECT_EQ(commands.phoneCreateFolder("/a/new", 4), 0);
    EXPECT_EQ(commands.phoneCreateFolder("/a/new", 4), -1) << "exists already";
    EXPECT_EQ(commands.phoneRemoveFolder("/a/new", 4), 0);
    EXPECT_EQ(commands.phoneRemoveFolder("/a/new", 4), -1);
}

// ---- free space ------------------------------------------------------------------------

TEST(FreeSpace, PayloadAndReportedValues) {
    PhoneFixture f;
    f.model.addVolume("/c", 0);  // a full (or empty-sized) volume reports 0 free bytes
    ASSERT_TRUE(f.model.addFile("/a/x", Bytes(1000, 1)));
    auto& commands = f.context.commands;
    EXPECT_EQ(commands.phoneFreeSpace("/a"), f.model.freeSpace("/a"));
    EXPECT_EQ(commands.phoneFreeSpace("/a"), 8u * 1024 * 1024 - 1000);
    EXPECT_EQ(commands.phoneFreeSpace("/c"), std::nullopt) << "a reported 0 is a failure";
    EXPECT_EQ(commands.phoneFreeSpace("/q"), std::nullopt) << "one-byte refusal";
    auto sent = fileCommands(f.link->commands(), CommandSet::kFreeSpace);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0].payload, (Bytes{0, 0, 0, 0x0B, 0, 6, 0, 0x2F, 0, 'a', 0, 0}));
}

// ---- search start ----------------------------------------------------------------------

Bytes units(const std::string& text) {
    Bytes out;
    for (char c : text) bytes::appendBe16(out, static_cast<uint8_t>(c));
    bytes::appendBe16(out, 0);
    return out;
}

TEST(SearchStart, TheRuleThatFitsFirstChoosesThePayloadForm) {
    Bytes volumeForm(252, 0);
    const Bytes marks = {0x00, 0x2F, 0x00, 0x63, 0x00, 0x2F, 0xFF, 0xFE, 0x00, 0x2A};
    std::copy(marks.begin(), marks.end(), volumeForm.begin());
    struct Case {
        const char* name;
        bool cdma;
        int mode;
        int filter;
        Bytes args;
    };
    const Case cases[] = {
        {"CDMA phone: whole pattern", true, 0, 0, units("/a/*.mp3")},
        {"CDMA wins over mode 3", true, 3, 1, units("/a/*.mp3")},
        {"mode 3 with filter: pattern without the volume", false, 3, 1, units("/*.mp3")},
        {"mode 3 without filter: plain form", false, 3, 0, {}},
        {"filter on: whole pattern", false, 0, 1, units("/a/*.mp3")},
        {"otherwise: volume form of the current volume", false, 0, 0, volumeForm},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFixture s;
        s.phone.queue(kReplyData, {0x00, 0x05});
        auto& commands = s.f.context.commands;
        commands.setCdmaPhone(c.cdma);
        s.f.context.runSettings.change([&](RunValues& values) { values.connectionMode = c.mode; });
        s.f.context.runSettings.change([&](RunValues& values) { values.useFilter = c.filter; });
        EXPECT_EQ(commands.phoneSearchStart("/a/*.mp3", 'c'), 5);
        ASSERT_EQ(s.phone.commands.size(), 1u);
        const Bytes& payload = s.phone.commands[0].payload;
        EXPECT_EQ(Bytes(payload.begin(), payload.begin() + 4), (Bytes{0, 0, 0, 7}));
        EXPECT_EQ(Bytes(payload.begin() + 4, payload.end()), c.args);
    }
}

TEST(SearchStart, VolumeFormIsA256BytePayload) {
    ScriptedFixture s;
    s.phone.queue(kReplyData, {0x00, 0x01});
    s.f.context.commands.phoneSearchStart("/a/*.*", 'c');
    ASSERT_EQ(s.phone.commands.size(), 1u);
    EXPECT_EQ(s.phone.commands[0].payload.size(), 256u);
}

TEST(SearchStart, CountsThatFail) {
    struct Case {
        const char* name;
        int filter;
        uint8_t status;
        Bytes reply;
        int result;
        bool logs34;
    };
    const Case cases[] = {
        {"three matches", 0, kReplyData, {0, 3}, 3, false},
        {"the most a phone can announce", 0, kReplyData, {0xFF, 0xFE}, 65534, false},
        {"zero matches, volume form", 0, kReplyData, {0, 0}, -1, true},
        {"0xFFFF, volume form", 0, kReplyData, {0xFF, 0xFF}, -1, true},
        {"zero matches, pattern form", 1, kReplyData, {0, 0}, -1, false},
        {"0xFFFF, pattern form", 1, kReplyData, {0xFF, 0xFF}, -1, false},
        {"one-byte reply", 0, kReplyData, {3}, -1, false},
        {"no reply data", 0, kReplyNoData, {}, -1, false},
        {"error status", 0, kReplyError, {}, -1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFixture s;
        s.f.context.runSettings.change([&](RunValues& values) { values.useFilter = c.filter; });
        s.phone.queue(c.status, c.reply);
        EXPECT_EQ(s.f.context.commands.phoneSearchStart("/a/*.*", 'a'), c.result);
        EXPECT_EQ(s.f.log.has("M34"), c.logs34);
    }
}

TEST(SearchStart, SimulatedPhoneCountsTheVolume) {
    PhoneFixture f;
    for (const char* path : {"/a/one", "/a/two", "/b/three"})
        ASSERT_TRUE(f.model.addFile(path, {}));
    EXPECT_EQ(f.context.commands.phoneSearchStart("/a/*.*", 'a'), 2);
    EXPECT_EQ(f.context.commands.phoneSearchStart("/a/*.*", 'c'), -1) << "/c is empty";
    EXPECT_TRUE(f.log.has("M34"));
}

// ---- seems -----------------------------------------------------------------------------

TEST(SeemWrite, SendsAtMost10000Bytes) {
    PhoneFixture f;
    const Bytes data = patternBytes(12000);
    f.model.setSeem(0x32, 1, Bytes(10000, 0));
    ASSERT_EQ(f.context.commands.phoneWriteSeem(0x32, 1, 0, data), 0);
    auto sent = f.link->commands();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].command, CommandSet::kWriteSeem);
    ASSERT_EQ(sent[0].payload.size(), 8u + 10000u);
    EXPECT_EQ(Bytes(sent[0].payload.begin(), sent[0].payload.begin() + 8),
              (Bytes{0x00, 0x32, 0x00, 0x01, 0x00, 0x00, 0x27, 0x10}));
    EXPECT_EQ(f.model.seem(0x32, 1), Bytes(data.begin(), data.begin() + 10000));
}

TEST(SeemWrite, RefusalsAreLoggedWithTheStatus) {
    struct Case {
        const char* name;
        uint8_t status;
        Bytes reply;
        size_t dataSize;
        int result;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"status 0", kReplyData, {0x00}, 10, 0, {}},
        {"status 0 then more bytes", kReplyData, {0x00, 0xAA, 0xBB}, 10, 0, {}},
        {"status 1", kReplyData, {0x01}, 10, -1, {"M123", "00000001H"}},
        {"status 0xA5", kReplyData, {0xA5, 0x00}, 10, -1, {"M123", "000000A5H"}},
        {"nothing to write", kReplyData, {}, 0, -1, {"M123", "00000000H"}},
        {"exchange fails", kReplyError, {}, 10, -1, {"M14", "M124"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFixture s;
        s.phone.queue(c.status, c.reply);
        EXPECT_EQ(s.f.context.commands.phoneWriteSeem(0x10, 1, 0, Bytes(c.dataSize, 7)), c.result);
        EXPECT_EQ(s.f.log.lines(), c.lines);
        EXPECT_EQ(s.phone.commands.size(), c.dataSize == 0 ? 0u : 1u);
    }
}

TEST(SeemRead, ReplyAlwaysBeginsWithItsStatusByte) {
    struct Case {
        const char* name;
        uint8_t status;
        Bytes reply;
        int result;
        size_t recordLength;  // the reply length minus its status byte
    };
    const Case cases[] = {
        {"data", kReplyData, {0x00, 1, 2, 3}, 0, 3},
        {"reply of length 0", kReplyData, {}, 0, 0},
        {"done without data", kReplyNoData, {}, 0, 0},
        {"status byte 1", kReplyData, {0x01}, -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFixture s;
        s.phone.queue(c.status, c.reply);
        Bytes reply;
        EXPECT_EQ(s.f.context.commands.phoneReadSeem(0x10, 2, 0, 0, reply), c.result);
        if (c.result != 0) continue;
        ASSERT_GE(reply.size(), 1u) << "a record length is never -1";
        EXPECT_EQ(reply[0], 0);
        EXPECT_EQ(reply.size() - 1, c.recordLength);
    }
}

TEST(SeemRead, PayloadAndData) {
    PhoneFixture f;
    f.model.setSeem(0x0123, 0x0045, {9, 8, 7, 6});
    Bytes reply;
    ASSERT_EQ(f.context.commands.phoneReadSeem(0x0123, 0x0045, 1, 2, reply), 0);
    EXPECT_EQ(reply, (Bytes{0, 8, 7}));
    auto sent = f.link->commands();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].command, 0x20);
    EXPECT_EQ(sent[0].payload, (Bytes{0x01, 0x23, 0x00, 0x45, 0, 1, 0, 2}));
    EXPECT_EQ(f.context.commands.phoneReadSeem(0x0123, 0x0046, 0, 0, reply), -1)
        << "no such record: status byte 1";
}

// ---- probe, session sequence, restart, AT mode -----------------------------------------

TEST(Probe, ChoosesFramingAndFamily) {
    struct Case {
        PhoneKind kind;
        int force;
        bool p2k05;
        bool cdma;
        size_t seemReads;
    };
    const Case cases[] = {
        // The P2k05 read of a classic-only phone never reaches it.
        {PhoneKind::ClassicGsm, 0, false, false, 1},
        {PhoneKind::P2k05Gsm, 0, true, false, 2},
        {PhoneKind::Cdma, 0, false, true, 1},
        {PhoneKind::P2k05Gsm, 1, true, false, 1},
        // Forced P2k05 on a phone that does not speak it: the read brings nothing, so the
        // family stays at its CDMA default.
        {PhoneKind::ClassicGsm, 1, true, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(sim::kindName(c.kind)) + (c.force ? " forced" : ""));
        PhoneFixture f(c.kind);
        f.context.runSettings.change([&](RunValues& values) { values.forceP2k05 = c.force; });
        f.context.commands.probeCommandSet();
        EXPECT_EQ(f.context.transport.p2k05Active(), c.p2k05);
        EXPECT_EQ(f.context.commands.cdmaPhone(), c.cdma);
        EXPECT_EQ(f.model.commandCount(CommandSet::kReadSeem), c.seemReads);
        EXPECT_EQ(f.context.driver.p2k05SendTimeoutMs(), 5000u);
    }
}

TEST(Probe, FirstReadUsesTheShortTimeoutAndTheLogStaysQuiet) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    std::vector<uint32_t> p2k05Timeouts;
    int requests = 0;
    int quietRequests = 0;
    f.link->onRequest = [&](uint32_t code, std::span<const uint8_t>) {
        ++requests;
        if (f.context.log.quiet()) ++quietRequests;
        if (code == kRequestP2k05Send) {
            p2k05Timeouts.push_back(f.context.driver.p2k05SendTimeoutMs());
        }
    };
    f.context.commands.probeCommandSet();
    EXPECT_EQ(p2k05Timeouts, (std::vector<uint32_t>{1000}));
    EXPECT_GT(requests, 0);
    EXPECT_EQ(quietRequests, requests);
    EXPECT_FALSE(f.context.log.quiet()) << "quieting lifted";
    EXPECT_TRUE(f.log.lines().empty()) << "the failed P2k05 read logs nothing";
}

TEST(SessionSequence, TwoStepsOf0x96ThenOneOf0x39With100MsPause) {
    PhoneFixture f;
    std::vector<uint64_t> sendTimes;
    f.link->onRequest = [&](uint32_t code, std::span<const uint8_t> in) {
        if (code == kRequestControlTransfer && !in.empty() && in[0] == 0x41) {
            sendTimes.push_back(f.clock.nowMs());
        }
    };
    f.context.commands.runSessionSequence();
    auto sent = f.link->commands();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].command, 0x96);
    EXPECT_EQ(sent[0].payload, (Bytes{0x01, 0x00}));
    EXPECT_EQ(sent[1].command, 0x96);
    EXPECT_EQ(sent[1].payload, (Bytes{0x00, 0x00}));
    EXPECT_EQ(sent[2].command, 0x39);
    EXPECT_EQ(sent[2].payload, (Bytes{0xFF, 0xFF}));
    ASSERT_EQ(sendTimes.size(), 3u);
    // Each exchange takes the same time on the manual clock; the pause adds 100 ms.
    EXPECT_EQ(sendTimes[1] - sendTimes[0], sendTimes[2] - sendTimes[1] + 100);
}

TEST(OtherCommands, RestartAndAtModeSwitch) {
    PhoneFixture f;
    f.context.commands.phoneRestart();
    auto sent = f.link->commands();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].command, 0x22);
    EXPECT_TRUE(sent[0].payload.empty());
    EXPECT_EQ(f.model.restartCount(), 1u);

    f.link->clear();
    EXPECT_EQ(f.context.commands.switchToAtMode(), 0);
    auto requests = f.link->seen();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].code, kRequestControlTransfer);
    EXPECT_EQ(requests[0].input, (Bytes{0x40, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(f.phone.switchedToAtMode());
}

TEST(ModelText, IdentityRecordsOfBothFamilies) {
    EXPECT_EQ(modelTextGsm(sim::gsmIdentityRecord("V3 RAZR")), "V3 RAZR");
    EXPECT_EQ(modelTextCdma(sim::cdmaIdentityRecord("V710")), "V710");
    // The text never runs past the data: no end mark at all.
    EXPECT_EQ(modelTextGsm(Bytes{0, 'A', 0, 'B', 0}), "AB");
    EXPECT_EQ(modelTextCdma(Bytes{'A', 0, 'B'}), "A");
    EXPECT_EQ(modelTextGsm({}), "");
    // A unit whose low byte and the next unit's high byte form FF 00 ends the text.
    EXPECT_EQ(modelTextGsm(Bytes{0, 'E', 0, 0xFF, 0x00, 'X'}), "E");
}

}  // namespace
}  // namespace mdk::test
