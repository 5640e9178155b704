// Why phone operations fail, and what a failed upload leaves behind.
#include <gtest/gtest.h>

#include "p2k/file_transfer.h"
#include "p2k/transport.h"
#include "p2k/usb_driver.h"
#include "phone_fixture.h"

namespace mdk::test {
namespace {

using sim::PhoneKind;
using Bytes = std::vector<uint8_t>;

struct ReasonCase {
    const char* name;
    std::function<void(PhoneFixture&)> arrange;
    FailureKind kind;
    const char* text;
};

TEST(FailureReason, DownloadNamesWhyItFailed) {
    const std::vector<ReasonCase> cases = {
        {"error status", [](PhoneFixture& f) { f.phone.faults().errorStatus = 14; },
         FailureKind::PhoneStatus, "phone status 14: M14"},
        {"stale sequence", [](PhoneFixture& f) { f.phone.faults().staleSequence = true; },
         FailureKind::BadReply, "the phone's reply does not belong to the request"},
        {"link lost", [](PhoneFixture& f) { f.phone.faults().dropConnection = true; },
         FailureKind::LinkLost, "the link to the phone was lost"},
        {"nothing open", [](PhoneFixture& f) { f.context.driver.clearLink(); },
         FailureKind::NothingOpen, "no link to a phone is open"},
    };
    for (const ReasonCase& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneFixture f(PhoneKind::ClassicGsm);
        ASSERT_TRUE(f.model.addFile("/a/x.bin", Bytes(3000, 7)));
        c.arrange(f);
        EXPECT_FALSE(downloadPhoneFile(f.context.commands, "/a/x.bin", 0, 3000));
        const PhoneFailure failure = f.context.transport.failure();
        EXPECT_EQ(failure.kind, c.kind);
        EXPECT_EQ(failure.text, c.text);
    }
}

TEST(FailureReason, ARefusingReplyIsNamed) {
    PhoneFixture f(PhoneKind::P2k05Gsm);
    f.context.commands.probeCommandSet();
    f.context.transport.clearFailure();
    EXPECT_NE(f.context.commands.phoneDeleteFile("/a/no-such-file"), 0);
    EXPECT_EQ(f.context.transport.failure().kind, FailureKind::Refused);
    EXPECT_EQ(f.context.transport.failure().text, "the phone refused to delete the file");
}

TEST(FailureReason, NoReplyWithinTheWaitIsNamed) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    auto silent = std::make_shared<ScriptedLink>();
    silent->answer = [](uint32_t, std::span<const uint8_t> in, std::vector<uint8_t>& out) {
        out.assign(12, 0);  // the send is taken, every poll says nothing is waiting
        (void)in;
        return DriverStatus::Completed;
    };
    f.context.driver.setLink(silent);
    uint32_t length = 0;
    EXPECT_EQ(f.context.transport.p2kExchange(0x4A, Bytes(4), nullptr, 0, length), -1);
    EXPECT_EQ(f.context.transport.failure().kind, FailureKind::NoReply);
    EXPECT_EQ(f.context.transport.failure().text, "no reply from the phone within 40 s");
}

TEST(FailureReason, TheFirstFailureStandsUntilCleared) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    Transport& transport = f.context.transport;
    transport.noteFailure(FailureKind::PhoneStatus, "first", 2);
    transport.noteFailure(FailureKind::LinkLost, "second");
    EXPECT_EQ(transport.failure().text, "first");
    transport.clearFailure();
    EXPECT_EQ(transport.failure().kind, FailureKind::None);
    EXPECT_EQ(transport.failureText("fallback"), "fallback");
}

TEST(FailureReason, GivingUpMakesLaterExchangesFailAtOnce) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    Transport& transport = f.context.transport;
    transport.setGiveUpWhenSilent(true);
    f.phone.faults().dropConnection = true;
    uint32_t length = 0;
    EXPECT_NE(transport.p2kExchange(0x4A, Bytes(4), nullptr, 0, length), 0);
    EXPECT_TRUE(transport.silent());
    f.link->clear();
    EXPECT_EQ(transport.p2kExchange(0x4A, Bytes(4), nullptr, 0, length), -1);
    EXPECT_TRUE(f.link->seen().empty()) << "nothing more is sent to a phone given up on";
}

// A 200,000-byte upload whose 30th write is refused: 29 chunks (29,696 bytes) were taken.
struct PartialCase {
    PhoneKind kind;
    const char* reason;
};

TEST(FailedUpload, ClosesAndRemovesThePartialFile) {
    const std::vector<PartialCase> cases = {
        {PhoneKind::ClassicGsm, "phone status 14: M14"},
        {PhoneKind::P2k05Gsm, "the phone refused to write the file (29696 bytes written)"},
    };
    for (const PartialCase& c : cases) {
        SCOPED_TRACE(sim::kindName(c.kind));
        PhoneFixture f(c.kind);
        f.context.commands.probeCommandSet();
        f.phone.faults().failWriteAt = 30;
        const Bytes data(200000, 0x5A);
        const UploadResult upload =
            uploadPhoneFileReporting(f.context.commands, "/a/big.bin", data);
        EXPECT_EQ(upload.result, -1);
        EXPECT_EQ(upload.reason, c.reason);
        EXPECT_EQ(upload.written, 29u * 1024);
        EXPECT_EQ(upload.partial, PartialFile::Removed);
        EXPECT_FALSE(f.model.fileBytes("/a/big.bin")) << "no partial file is left";
        const auto commands = f.link->commands();
        size_t closes = 0;
        for (const auto& c2 : commands) {
            closes += c2.command == CommandSet::kFileSystem && c2.payload.size() >= 4 &&
                      bytes::be32(c2.payload.data()) == CommandSet::kClose;
        }
        EXPECT_EQ(closes, 1u) << "the phone file is closed once";
        EXPECT_EQ(uploadFailureText(upload, "/a/big.bin"),
                  std::string(c.reason) + "; the partial file was removed from the phone");
    }
}

TEST(FailedUpload, APartialFileRemainsWhenTheLinkIsGone) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    f.context.commands.probeCommandSet();
    // Open, then three writes of 3 requests each (send, poll, fetch), then the link goes.
    f.phone.faults().dropAfterRequests = 3 + 3 * 3 + static_cast<int>(f.link->seen().size());
    const UploadResult upload =
        uploadPhoneFileReporting(f.context.commands, "/a/big.bin", Bytes(20000, 1));
    EXPECT_EQ(upload.result, -1);
    EXPECT_EQ(upload.partial, PartialFile::Remains);
    EXPECT_EQ(upload.reason, "the link to the phone was lost");
    EXPECT_EQ(uploadFailureText(upload, "/a/big.bin"),
              "the link to the phone was lost; a partial file remains on the phone: /a/big.bin");
    ASSERT_TRUE(f.model.fileBytes("/a/big.bin"));
    EXPECT_EQ(f.model.fileBytes("/a/big.bin")->size(), 3u * 1024);
}

TEST(FailedUpload, ASuccessfulUploadReportsNothing) {
    PhoneFixture f(PhoneKind::P2k05Gsm);
    f.context.commands.probeCommandSet();
    const UploadResult upload =
        uploadPhoneFileReporting(f.context.commands, "/a/new/sub/x.bin", Bytes(2500, 3));
    EXPECT_EQ(upload.result, 0);
    EXPECT_EQ(upload.partial, PartialFile::None);
    ASSERT_TRUE(f.model.fileBytes("/a/new/sub/x.bin"));
    EXPECT_EQ(f.model.fileBytes("/a/new/sub/x.bin")->size(), 2500u);
}

struct SpaceCase {
    uint64_t size;
    uint64_t replaced;
    bool fits;
};

TEST(UploadSpace, TheFileMustFitTheFreeSpacePlusTheReplacedFile) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    const uint32_t free = *f.context.commands.phoneFreeSpace("/a");
    const std::vector<SpaceCase> cases = {
        {free, 0, true},
        {uint64_t(free) + 1, 0, false},
        {uint64_t(free) + 3000, 3000, true},
        {uint64_t(free) + 3001, 3000, false},
    };
    for (const SpaceCase& c : cases) {
        SCOPED_TRACE(c.size);
        auto problem = uploadSpaceProblem(f.context.commands, "/a", c.size, c.replaced);
        EXPECT_EQ(!problem, c.fits);
        if (problem) {
            EXPECT_EQ(*problem, "not enough space on /a: need " + std::to_string(c.size) +
                                    ", free " + std::to_string(uint64_t(free) + c.replaced));
        }
    }
}

}  // namespace
}  // namespace mdk::test
