// The phone file catalogue: the attach routine, the loader with its stride detection and
// limits, the records' upkeep, the hidden-files list, the raw dump and folder listings.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "p2k/catalogue.h"
#include "p2k/transport.h"
#include "p2k_test_support.h"
#include "sim_payloads.h"

namespace mdk::test {
namespace {

using sim::PhoneKind;
using Bytes = std::vector<uint8_t>;

// Records what the catalogue shows in the window.
class RecordingView final : public PhoneView {
public:
    void setStatusText(int part, const std::string& text) override { status[part] = text; }
    void setPhoneLocations(const std::vector<VolumeEntry>& list) override { entries = list; }
    std::string leftLocationText() override { return leftText; }

    std::map<int, std::string> status;
    std::vector<VolumeEntry> entries;
    std::string leftText = "M116";
};

void runOverUsblan(RunSettings& settings) {
    settings.change([](RunValues& values) {
        values.connectionMode = static_cast<int32_t>(ConnectionMode::P2k05OverUsblan);
    });
}

std::vector<std::string> entryTexts(const std::vector<VolumeEntry>& entries) {
    std::vector<std::string> texts;
    for (const auto& e : entries) texts.push_back(e.text + (e.emptySlot ? " (empty)" : ""));
    return texts;
}

std::vector<std::string> pathsOf(const std::vector<CatalogueRecord>& records) {
    std::vector<std::string> paths;
    for (const auto& r : records) paths.push_back(r.path);
    return paths;
}

std::vector<std::string> rowNames(const std::vector<PhoneRow>& rows) {
    std::vector<std::string> names;
    for (const auto& r : rows) names.push_back(r.name + (r.folder ? "/" : ""));
    return names;
}

// A search-next block: header, then each path in a record of stride bytes.
Bytes block(uint32_t stride, const std::vector<std::string>& paths, uint32_t size = 7) {
    Bytes out;
    bytes::appendBe16(out, static_cast<uint16_t>(paths.size()));
    bytes::appendBe16(out, 0);
    for (const auto& path : paths) {
        const size_t start = out.size();
        out.resize(start + stride, 0);
        std::copy(path.begin(), path.end(), out.begin() + static_cast<ptrdiff_t>(start));
        bytes::putLe32(&out[start + stride - 8], 0x07000400);
        bytes::putBe32(&out[start + stride - 4], size);
    }
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// ---- attach ----------------------------------------------------------------------------

TEST(Attach, LocationEntriesFromTheVolumeList) {
    struct Case {
        const char* name;
        std::vector<std::string> volumes;
        int fourthSlot;
        std::string fourthVolume;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {"/a /c /e", {"/a", "/c", "/e"}, 0, "", {"M116", "M118", "M119", "M121 (empty)", "M115"}},
        {"/a only",
         {"/a"},
         0,
         "",
         {"M116", "M121 (empty)", "M121 (empty)", "M121 (empty)", "M115"}},
        {"fourth slot /e", {"/a", "/b", "/c"}, 1, "/e", {"M116", "M117", "M118", "/e22", "M115"}},
        {"fourth slot default",
         {"/a", "/b", "/c"},
         1,
         "",
         {"M116", "M117", "M118", "/a22", "M115"}},
        {"fourth slot over an empty one",
         {"/a", "/g"},
         1,
         "/b",
         {"M116", "M120", "M121 (empty)", "/b22", "M115"}},
        {"more volumes than slots",
         {"/a", "/b", "/c", "/e", "/g"},
         0,
         "",
         {"M116", "M117", "M118", "M119", "M115"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneFixture f;
        f.model.clearFiles();
        for (const auto& v : c.volumes) f.model.addVolume(v, 1 << 20);
        f.context.config.useFourthSlot = c.fourthSlot;
        f.context.config.fourthSlotVolume = c.fourthVolume;
        f.context.runSettings.takeFrom(f.context.config);
        RecordingView view;
        f.context.catalogue.setView(&view);
        EXPECT_EQ(f.context.catalogue.attachPhone(), 0);
        EXPECT_EQ(entryTexts(view.entries), c.entries);
    }
}

TEST(Attach, VolumeTextTurnsSeparatorsIntoBlanks) {
    Bytes list;
    for (uint16_t unit : std::vector<uint16_t>{'/', 'a', 0xFFFE, '/', 'c', 0, '/', 'x'})
        bytes::appendBe16(list, unit);
    EXPECT_EQ(Catalogue::volumeText(list), "/a /c ");
    EXPECT_EQ(Catalogue::volumeText(Bytes{0x00, '/', 0x00}), "/ ") << "odd byte ignored";
}

TEST(Attach, LogsFramingModelVolumeAndFreeSpace) {
    PhoneFixture f;
    f.context.runSettings.change([](RunValues& values) { values.useFilter = 1; });
    RecordingView view;
    view.leftText = "/c  memory card";
    f.context.catalogue.setView(&view);
    ASSERT_EQ(f.context.catalogue.attachPhone(), 0);
    EXPECT_EQ(f.log.lines(),
              (std::vector<std::string>{"M103", "GSM Model: V3 RAZR", "/c  memory card",
                                        "M99/c/*.*", "M214096M22"}));
    EXPECT_EQ(f.context.catalogue.currentVolume(), "/c");
    EXPECT_EQ(f.context.runSettings.read().useFilter, 0) << "the filter option is switched off";
    // The count was taken with the filter still on: the pattern form.
    auto searches = fileCommands(f.link->commands(), CommandSet::kSearchStart);
    ASSERT_EQ(searches.size(), 1u);
    EXPECT_NE(searches[0].payload.size(), 256u);
}

TEST(Attach, FillsTheStatusBarAtOnce) {
    PhoneFixture f;
    RecordingView view;
    view.leftText = "/c  memory card";
    f.context.catalogue.setView(&view);
    ASSERT_EQ(f.context.catalogue.attachPhone(), 0);
    EXPECT_EQ(view.status[0], "M804096 Kb");
    EXPECT_EQ(view.status[1], "M78/c");
    EXPECT_EQ(view.status[2], "M79" + std::to_string(f.context.catalogue.reportedCount()));
    EXPECT_EQ(view.status[3], "M77V3 RAZR");
}

TEST(Attach, ClassicPhoneLogsTheTuningOption) {
    const std::pair<int, std::string> cases[] = {{0, "M100"}, {1, "M102"}, {3, "M101"}};
    for (const auto& [option, message] : cases) {
        PhoneFixture f(PhoneKind::ClassicGsm);
        f.context.config.commandSet = option;
        ASSERT_EQ(f.context.catalogue.attachPhone(), 0);
        ASSERT_FALSE(f.log.lines().empty());
        EXPECT_EQ(f.log.lines()[0], message);
    }
}

TEST(Attach, CdmaPhoneEndsAfterItsModel) {
    PhoneFixture f(PhoneKind::Cdma);
    RecordingView view;
    f.context.catalogue.setView(&view);
    EXPECT_EQ(f.context.catalogue.attachPhone(), -1);
    EXPECT_TRUE(f.log.has("CDMA Model: V3 RA")) << "ten bytes of the identity seem";
    EXPECT_TRUE(view.entries.empty());
    EXPECT_TRUE(fileCommands(f.link->commands(), CommandSet::kListVolumes).empty());
}

TEST(Attach, FailingStepsLogTheirMessage) {
    {
        ScriptedFixture s;  // classic: the P2k05 probe read finds no P2k05 phone
        s.phone.queue(kReplyData, {0, 1, 2, 3, 4, 5, 6, 7, 8});  // seem 4
        s.phone.queue(kReplyData, {0, 0, 'X', 0, 0});            // identity
        s.phone.queue(kReplyData, {0, 1});                       // search start
        s.phone.queue(kReplyData, {0x01});                       // volume list refused
        EXPECT_EQ(s.f.context.catalogue.attachPhone(), -1);
        EXPECT_TRUE(s.f.log.has("GSM Model: X"));
        EXPECT_EQ(s.f.log.lines().back(), "M17");
    }
    {
        PhoneFixture f;
        f.model.addVolume("/a", 0);  // nothing free
        EXPECT_EQ(f.context.catalogue.attachPhone(), -1);
        EXPECT_EQ(f.log.lines().back(), "M19");
    }
}

TEST(Attach, Mode3CountsAndReadsTheModelOverUsblan) {
    PhoneFixture f;
    runOverUsblan(f.context.runSettings);
    ASSERT_TRUE(f.model.addFile("/a/one", {}));
    f.context.catalogue.setUsblanIdentityReader([] { return std::string("E680"); });
    EXPECT_EQ(f.context.catalogue.attachPhone(), 0);
    EXPECT_EQ(f.log.lines(), (std::vector<std::string>{"M78/", "M77E680"}));
    EXPECT_GT(f.context.catalogue.reportedCount(), 0u);
}

TEST(StatusRefresh, FreeSpaceAndCountOnTheStatusBar) {
    PhoneFixture f;
    for (const char* p : {"/a/1", "/a/2", "/a/3"}) ASSERT_TRUE(f.model.addFile(p, Bytes(1024)));
    RecordingView view;
    f.context.catalogue.setView(&view);
    EXPECT_EQ(f.context.catalogue.refreshPhoneStatus(), 0);
    EXPECT_EQ(view.status[0], "M80" + std::to_string(8 * 1024 - 3) + " Kb");
    EXPECT_EQ(view.status[2], "M793");
    EXPECT_EQ(f.context.catalogue.reportedCount(), 0u) << "the count is restored";

    f.model.addVolume("/a", 0);
    EXPECT_EQ(f.context.catalogue.refreshPhoneStatus(), -1);
    EXPECT_EQ(f.log.lines(), (std::vector<std::string>{"M19", "M18"}));
}

TEST(StatusRefresh, AFailedQueryIsNotReportedAsZeroFreeBytes) {
    PhoneFixture f;
    f.phone.faults().dropConnection = true;
    EXPECT_EQ(f.context.catalogue.refreshPhoneStatus(), -1);
    EXPECT_TRUE(f.log.has("M18"));
    EXPECT_FALSE(f.log.has("M19")) << "M19 is for a phone that reports 0 free bytes";
}

// ---- loading ---------------------------------------------------------------------------

TEST(Load, StrideComesFromTheFirstReply) {
    for (uint32_t stride : {268u, 44u}) {
        SCOPED_TRACE(stride);
        PhoneFixture f;
        f.model.setRecordStride(stride);
        f.model.setRecordsPerBlock(3);
        for (const char* p : {"/a/1.txt", "/a/2.txt", "/a/3.txt", "/a/4.txt"}) {
            ASSERT_TRUE(f.model.addFile(p, Bytes(5)));
        }
        auto twin = sim::PhoneModel(PhoneKind::P2k05Gsm);
        twin.setRecordStride(stride);
        twin.setRecordsPerBlock(3);
        for (const auto& e : f.model.files()) twin.addFile(e.path, Bytes(5));
        simtest::fs(twin, simtest::searchVolume('a'));
        EXPECT_EQ(simtest::fs(twin, simtest::searchNext()).data.size(), 4 + 3 * stride)
            << "808 bytes for 268, 136 for 44";

        RecordingProgress progress;
        f.context.commands.setProgress(&progress);
        f.context.catalogue.loadCatalogue();
        EXPECT_EQ(f.context.catalogue.recordStride(), stride);
        EXPECT_EQ(pathsOf(f.context.catalogue.records()),
                  (std::vector<std::string>{"/a/1.txt", "/a/2.txt", "/a/3.txt", "/a/4.txt"}));
        for (const auto& r : f.context.catalogue.records()) {
            EXPECT_EQ(r.size, 5u);
            EXPECT_EQ(r.attributeWord, sim::kFileAttributes);
        }
        EXPECT_EQ(progress.ranges(), (std::vector<std::pair<int, int>>{{0, 5}}));
        EXPECT_EQ(progress.steps(), 4);
    }
}

// Each search-next reply is described once: its layout and what is wrong with it.
TEST(Load, BlockReadingGivesLayoutAndProblemTogether) {
    const Bytes three = block(20, {"/a/1", "/a/2", "/a/3"});
    Bytes cut = three;
    cut.resize(cut.size() - 5);  // the last record lacks 5 bytes
    Bytes firstCut = three;
    firstCut.pop_back();
    Bytes headerOnly = three;
    headerOnly.resize(4);
    struct Case {
        const char* what;
        Bytes reply;
        std::optional<uint32_t> knownStride;
        std::optional<size_t> stride;  // nullopt: no layout, the load ends here
        size_t whole;
        std::string problem;
    };
    const Case cases[] = {
        {"whole first block", three, std::nullopt, 20, 3, ""},
        {"whole later block", three, 20u, 20, 3, ""},
        {"first block not whole records", firstCut, std::nullopt, std::nullopt, 0,
         "the phone's file list is malformed: its first block announces 3 records in 59 bytes"},
        {"later block short of a record", cut, 20u, 20, 2,
         "the phone's file list is incomplete: a block announces 3 records and holds 2"},
        {"later block without a whole record", headerOnly, 20u, std::nullopt, 0,
         "the phone's file list is incomplete: a block announces 3 records and holds 0"},
        {"first block with too small a stride", block(8, {"/a"}), std::nullopt, std::nullopt, 0,
         ""},
        {"end block", block(20, {}), std::nullopt, std::nullopt, 0, ""},
        {"reply shorter than its header", Bytes{0, 1}, 20u, std::nullopt, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Catalogue::BlockReading reading = Catalogue::readBlock(c.reply, c.knownStride);
        EXPECT_EQ(reading.problem, c.problem);
        ASSERT_EQ(reading.layout.has_value(), c.stride.has_value());
        EXPECT_EQ(Catalogue::blockLayout(c.reply, c.knownStride).has_value(), c.stride.has_value());
        if (!c.stride) continue;
        EXPECT_EQ(reading.layout->stride, *c.stride);
        EXPECT_EQ(reading.layout->whole, c.whole);
        EXPECT_EQ(reading.layout->count, 3);
    }
}

TEST(Load, LogsFoundCountAndSummaryAndRunsTheSessionSequence) {
    PhoneFixture f;
    for (const char* p : {"/a/1", "/a/2", "/a/3"}) ASSERT_TRUE(f.model.addFile(p, {}));
    f.context.catalogue.loadCatalogue();
    auto lines = f.log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "3M23");
    EXPECT_EQ(lines[1].substr(0, 4), "3M40");
    EXPECT_EQ(lines[1].substr(lines[1].size() - 3), "M41");
    EXPECT_TRUE(f.context.catalogue.workerDone());
    EXPECT_TRUE(f.context.catalogue.catalogueLoaded());
    EXPECT_EQ(f.context.catalogue.reportedCount(), 3u);
    EXPECT_FALSE(f.context.log.quiet());
    auto sent = f.link->commands();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent.back().command, 0x39);
    // Search next carries the tuning byte of the "New (fast)" option.
    auto next = fileCommands(sent, CommandSet::kSearchNext);
    ASSERT_FALSE(next.empty());
    EXPECT_EQ(next[0].payload, (Bytes{0, 0, 0, 8, 3}));
}

TEST(Load, ZeroRecordsStillFinish) {
    struct Case {
        const char* name;
        std::vector<std::pair<uint8_t, Bytes>> replies;  // search start, search next...
    };
    const Case cases[] = {
        {"no match at all", {{kReplyData, {0, 0}}}},
        {"search start fails", {{kReplyError, {}}}},
        {"a count, then an empty block", {{kReplyData, {0, 3}}, {kReplyData, {0, 0, 0, 0}}}},
        {"10 bytes announcing 3 records (stride 2)",
         {{kReplyData, {0, 3}}, {kReplyData, {0, 3, 0, 0, 1, 2, 3, 4, 5, 6}}}},
        {"header alone announcing 2 (stride 0)",
         {{kReplyData, {0, 3}}, {kReplyData, {0, 2, 0, 0}}}},
        {"three bytes", {{kReplyData, {0, 3}}, {kReplyData, {0, 1, 0}}}},
        {"stride above 1024", {{kReplyData, {0, 1}}, {kReplyData, block(2000, {"/a/big"})}}},
        {"search next fails", {{kReplyData, {0, 3}}, {kReplyError, {}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFixture s;
        for (const auto& [status, data] : c.replies) s.phone.queue(status, data);
        s.phone.queue(kReplyData, block(268, {"/a/never"}));  // must not be read
        Catalogue& catalogue = s.f.context.catalogue;
        catalogue.loadCatalogue();
        EXPECT_TRUE(catalogue.workerDone());
        EXPECT_TRUE(catalogue.catalogueLoaded());
        EXPECT_EQ(catalogue.catalogueRecords(), 0u);
        EXPECT_EQ(catalogue.reportedCount(), 0u);
        EXPECT_TRUE(catalogue.listFolder("/").empty());
        ASSERT_FALSE(s.f.log.lines().empty());
        EXPECT_EQ(s.f.log.lines().back().substr(0, 4), "0M40");
        EXPECT_EQ(fileCommands(s.phone.commands, CommandSet::kSearchNext).size(),
                  c.replies.size() - 1);
    }
}

TEST(Load, SummaryOfAFailedSearchDoesNotReplaceAnEarlierLine) {
    PhoneFixture f;  // volume /a is empty: the search start fails and logs message 34
    f.context.catalogue.loadCatalogue();
    auto lines = f.log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "M34");
    EXPECT_EQ(lines[1].substr(0, 4), "0M40");
}

TEST(Load, RecordsBeyondTheAnnouncedCountAreCutWithAProblem) {
    ScriptedFixture s;
    s.phone.queue(kReplyData, {0, 2});
    s.phone.queue(kReplyData, block(268, {"/a/1", "/a/2", "/a/3"}));
    s.phone.queue(kReplyData, block(268, {"/a/4", "/a/5"}));  // must not be read
    s.phone.queue(kReplyData, {0, 0, 0, 0});
    Catalogue& catalogue = s.f.context.catalogue;
    catalogue.loadCatalogue();
    EXPECT_EQ(pathsOf(catalogue.records()), (std::vector<std::string>{"/a/1", "/a/2"}));
    EXPECT_EQ(catalogue.reportedCount(), 2u);
    EXPECT_EQ(catalogue.catalogueBytes(), 4 + 2 * 268u) << "no bytes beyond the total kept";
    EXPECT_EQ(fileCommands(s.phone.commands, CommandSet::kSearchNext).size(), 1u);
    const std::string problem =
        "the phone announced 2 files but kept sending more; the list "
        "was cut at 2";
    EXPECT_EQ(catalogue.loadProblem(), problem);
    EXPECT_TRUE(s.f.log.has(problem));
}

// A phone whose search never sends its end block: the load stops at the announced total,
// also when the limit of files is off, and the next load starts afresh.
TEST(Load, AListThatNeverEndsStopsAtTheAnnouncedTotal) {
    struct Case {
        int files;
        int perBlock;
        int32_t limit;
        uint32_t kept;
        bool cut;  // the total fell inside a block
    };
    const Case cases[] = {{10, 7, -1, 10, true},
                          {14, 7, -1, 14, false},
                          {8, 3, -1, 8, true},
                          {10, 3, 4, 6, false},
                          {5, 7, -1, 5, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.files << " files, " << c.perBlock << " a block");
        PhoneFixture f;
        f.model.setRecordsPerBlock(c.perBlock);
        for (int i = 0; i < c.files; ++i) {
            ASSERT_TRUE(f.model.addFile("/a/f" + std::to_string(100 + i), {}));
        }
        f.phone.faults().endlessList = true;
        f.context.runSettings.change([&](RunValues& values) { values.fileCountLimit = c.limit; });
        Catalogue& catalogue = f.context.catalogue;
        catalogue.loadCatalogue();
        EXPECT_TRUE(catalogue.workerDone());
        EXPECT_EQ(catalogue.catalogueRecords(), c.kept);
        EXPECT_EQ(catalogue.loadProblem().empty(), !c.cut) << catalogue.loadProblem();
        EXPECT_LE(fileCommands(f.link->commands(), CommandSet::kSearchNext).size(),
                  size_t(c.files / c.perBlock + 1));
    }
}

TEST(Load, ShortLaterReplyKeepsItsWholeRecordsAndEndsTheLoad) {
    ScriptedFixture s;
    s.phone.queue(kReplyData, {0, 9});
    s.phone.queue(kReplyData, block(44, {"/a/1", "/a/2"}));
    Bytes cut = block(44, {"/a/3", "/a/4", "/a/5"});
    cut.resize(4 + 44 + 20);  // one whole record and part of the next
    s.phone.queue(kReplyData, cut);
    s.phone.queue(kReplyData, block(44, {"/a/6"}));
    Catalogue& catalogue = s.f.context.catalogue;
    catalogue.loadCatalogue();
    EXPECT_EQ(pathsOf(catalogue.records()), (std::vector<std::string>{"/a/1", "/a/2", "/a/3"}));
    EXPECT_EQ(catalogue.recordStride(), 44u);
}

TEST(Load, FileCountLimitStopsTheLoad) {
    PhoneFixture f;
    f.model.setRecordsPerBlock(3);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(f.model.addFile("/a/f" + std::to_string(100 + i), {}));
    }
    f.context.runSettings.change([](RunValues& values) { values.fileCountLimit = 5; });
    f.context.catalogue.loadCatalogue();
    EXPECT_EQ(f.context.catalogue.catalogueRecords(), 6u) << "stops once past the limit";
    EXPECT_EQ(fileCommands(f.link->commands(), CommandSet::kSearchNext).size(), 2u);
    EXPECT_TRUE(f.context.catalogue.workerDone());
}

// The limit is compared once per block: every record of a block the load keeps is indexed,
// and the bytes kept are exactly the blocks of the records listed.
TEST(Load, FileCountLimitEndsTheLoadAtABlockEnd) {
    const std::vector<std::pair<int32_t, uint32_t>> limitAndRecords = {
        {0, 3}, {2, 3}, {3, 6}, {4, 6}, {5, 6}, {6, 9}, {19, 20}, {-1, 20}};
    for (const auto& [limit, records] : limitAndRecords) {
        SCOPED_TRACE(limit);
        PhoneFixture f;
        f.model.setRecordsPerBlock(3);
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(f.model.addFile("/a/f" + std::to_string(100 + i), {}));
        }
        f.context.runSettings.change([&](RunValues& values) { values.fileCountLimit = limit; });
        Catalogue& catalogue = f.context.catalogue;
        catalogue.loadCatalogue();
        EXPECT_EQ(catalogue.catalogueRecords(), records);
        EXPECT_EQ(catalogue.records().size(), records);
        const uint32_t blocks = (records + 2) / 3;
        EXPECT_EQ(catalogue.catalogueBytes(), blocks * 4 + records * catalogue.recordStride())
            << "no bytes beyond the records indexed";
    }
}

TEST(Load, FailedSearchStartEmptiesTheCatalogue) {
    PhoneFixture f;
    ASSERT_TRUE(f.model.addFile("/a/x.jpg", Bytes(3)));
    Catalogue& catalogue = f.context.catalogue;
    catalogue.loadCatalogue();
    ASSERT_EQ(catalogue.catalogueRecords(), 1u);
    catalogue.setCurrentVolume("/c");  // an empty volume: the search start fails
    catalogue.loadCatalogue();
    EXPECT_EQ(catalogue.catalogueRecords(), 0u);
    EXPECT_EQ(catalogue.catalogueBytes(), 0u);
    EXPECT_TRUE(catalogue.records().empty());
    EXPECT_TRUE(catalogue.listFolder("/a/").empty());
    EXPECT_TRUE(catalogue.recordsBelow("/a").empty());
}

TEST(Load, RawDumpHoldsTheSearchNextRepliesWhenPacketsAreLogged) {
    for (bool packets : {true, false}) {
        SCOPED_TRACE(packets);
        PhoneFixture f;
        f.model.setRecordsPerBlock(2);
        for (const char* p : {"/a/m/1.mp3", "/a/m/2.mp3", "/a/3.jpg", "/a/4.jpg", "/a/5"}) {
            ASSERT_TRUE(f.model.addFile(p, patternBytes(11)));
        }
        sim::PhoneModel twin(PhoneKind::P2k05Gsm);
        twin.setRecordsPerBlock(2);
        for (const auto& e : f.model.files()) {
            if (!e.folder) twin.addFile(e.path, patternBytes(11));
        }
        simtest::fs(twin, simtest::searchVolume('a'));
        std::string expected;
        for (;;) {
            const Bytes reply = simtest::fs(twin, simtest::searchNext()).data;
            if (bytes::be16(reply.data()) == 0) break;
            expected.append(reply.begin(), reply.end());
        }
        ASSERT_EQ(expected.size(), 3 * (4 + 2 * 268u)) << "six records (a folder too) in pairs";

        f.context.log.setPackets(packets);
        f.context.catalogue.loadCatalogue();
        const std::string dump = f.context.programFile("Received_filelist.raw");
        if (packets) {
            EXPECT_EQ(readFile(dump), expected);
        } else {
            EXPECT_FALSE(std::filesystem::exists(dump));
        }
    }
}

// ---- hidden files ----------------------------------------------------------------------

TEST(HiddenFiles, ListRules) {
    struct Case {
        const char* text;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"#comment\n/a/x.cfg\n\n/a/y.cfg\n", {"/a/x.cfg"}},
        {"/a/x.cfg\r\n/a/y.cfg\r\n", {"/a/x.cfg", "/a/y.cfg"}},
        {"/a/x.cfg\n/a/last", {"/a/x.cfg", "/a/last"}},
        {"\n/a/x.cfg\n", {}},
        {"", {}},
        {"# only a comment\n", {}},
    };
    PhoneFixture f;
    const std::string path = f.context.programFile("Hidden_files.lst");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeFile(path, c.text);
        EXPECT_EQ(Catalogue::readHiddenFiles(path), c.names);
    }
    EXPECT_EQ(Catalogue::readHiddenFiles(path + ".missing"), std::nullopt);
}

TEST(HiddenFiles, Mode3LoadAppendsThemAfterTheSearch) {
    PhoneFixture f;
    runOverUsblan(f.context.runSettings);
    ASSERT_TRUE(f.model.addFile("/a/seen.txt", Bytes(4)));
    writeFile(f.context.programFile("Hidden_files.lst"), "#comment\n/a/x.cfg\n\n/a/y.cfg\n");
    RecordingView view;
    f.context.catalogue.setView(&view);
    f.context.catalogue.loadCatalogue();
    auto records = f.context.catalogue.records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().path, "/a/x.cfg");
    EXPECT_EQ(records.back().size, 99999999u);
    EXPECT_EQ(records.back().attributeWord, 0u);
    EXPECT_EQ(view.status[2], "M79" + std::to_string(records.size() - 1));
    EXPECT_TRUE(f.prompter.shown().empty());
}

TEST(HiddenFiles, MissingListIsReportedInABox) {
    PhoneFixture f;
    runOverUsblan(f.context.runSettings);
    ASSERT_TRUE(f.model.addFile("/a/seen.txt", Bytes(4)));
    f.context.catalogue.loadCatalogue();
    auto shown = f.prompter.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "Warning");
    EXPECT_EQ(shown[0].text, "List of hidden files not found");
    EXPECT_EQ(shown[0].buttons, PromptButtons::Ok);
    for (const auto& r : f.context.catalogue.records()) EXPECT_NE(r.size, 99999999u);
}

// ---- upkeep: append, mark, attributes ---------------------------------------------------

TEST(Upkeep, AppendedNameMustFitTheStride) {
    PhoneFixture f;
    f.model.setRecordStride(44);
    ASSERT_TRUE(f.model.addFile("/a/one", Bytes(1)));
    Catalogue& catalogue = f.context.catalogue;
    catalogue.loadCatalogue();
    ASSERT_EQ(catalogue.recordStride(), 44u);
    f.context.runSettings.change([](RunValues& values) { values.fileCountLimit = 10; });
    const std::string fits(35, 'f');
    const std::string tooLong(36, 'l');
    EXPECT_TRUE(catalogue.appendCatalogueRecord("/" + fits.substr(1), 1234, 0x07000400));
    EXPECT_FALSE(catalogue.needsReload());
    EXPECT_EQ(f.context.runSettings.read().fileCountLimit, 11);
    EXPECT_FALSE(catalogue.appendCatalogueRecord("/" + tooLong.substr(1), 1, 0x07000400));
    EXPECT_TRUE(catalogue.needsReload());
    auto records = catalogue.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].path.size(), 35u);
    EXPECT_EQ(records[1].size, 1234u);
    EXPECT_EQ(records[1].attributeWord, 0x07000400u);
    EXPECT_EQ(catalogue.catalogueBytes(), 2 * (4 + 44u));
    EXPECT_EQ(catalogue.reportedCount(), 2u);
}

TEST(Upkeep, UnlimitedFileCountStaysUnlimited) {
    PhoneFixture f;
    f.context.runSettings.change([](RunValues& values) { values.fileCountLimit = -1; });
    EXPECT_TRUE(f.context.catalogue.appendCatalogueRecord("/a/x", 1, 0));
    EXPECT_EQ(f.context.runSettings.read().fileCountLimit, -1);
}

TEST(Upkeep, MarkHidesThePathAndWhatLiesBelowIt) {
    PhoneFixture f;
    Catalogue& catalogue = f.context.catalogue;
    for (const char* p : {"/c/a/x", "/a/x.txt", "/a/x", "/a/x/y", "/a/xy", "/a/y/a/x"}) {
        ASSERT_TRUE(catalogue.appendCatalogueRecord(p, 1, 0x07000400));
    }
    catalogue.markCatalogueRecord("/a/x");
    EXPECT_EQ(rowNames(catalogue.listFolder("/a/")),
              (std::vector<std::string>{"x.txt", "xy", "y/"}));
    EXPECT_EQ(rowNames(catalogue.listFolder("/c/a/")), (std::vector<std::string>{"x"}));
    EXPECT_EQ(rowNames(catalogue.listFolder("/a/y/a/")), (std::vector<std::string>{"x"}));
    catalogue.markCatalogueRecord("/a/nothing");  // absent: nothing happens
    EXPECT_EQ(catalogue.listFolder("/a/").size(), 3u);
}

// A listing read before a change shows the change afterwards (the folder index grows with
// appended records and is rebuilt after a mark).
TEST(Upkeep, ListingsFollowAppendsAndMarks) {
    PhoneFixture f;
    Catalogue& catalogue = f.context.catalogue;
    for (const char* p : {"/a/m/one", "/a/M/two", "/a/x", "top"}) {
        ASSERT_TRUE(catalogue.appendCatalogueRecord(p, 1, 0x07000400));
    }
    EXPECT_EQ(rowNames(catalogue.listFolder("/a/")), (std::vector<std::string>{"m/", "x"}));
    EXPECT_EQ(rowNames(catalogue.listFolder("/")), (std::vector<std::string>{"a/", "top"}));
    ASSERT_TRUE(catalogue.appendCatalogueRecord("/a/m/three", 1, 0x07000400));
    ASSERT_TRUE(catalogue.appendCatalogueRecord("/a/X", 1, 0x07000400));  // x's twin: dropped
    EXPECT_EQ(rowNames(catalogue.listFolder("/a/m/")), (std::vector<std::string>{"one", "three"}));
    EXPECT_EQ(rowNames(catalogue.listFolder("/a/")), (std::vector<std::string>{"m/", "x"}));
    catalogue.markCatalogueRecord("/a/m");
    EXPECT_EQ(rowNames(catalogue.listFolder("/a/")), (std::vector<std::string>{"M/", "x"}));
    EXPECT_TRUE(catalogue.listFolder("/a/m/").empty());
    EXPECT_EQ(rowNames(catalogue.listFolder("/a/M/")), (std::vector<std::string>{"two"}));
    // A folder text without its closing "/" is a plain prefix, as it always was.
    EXPECT_EQ(rowNames(catalogue.listFolder("/a/m")), (std::vector<std::string>{}));
    EXPECT_EQ(rowNames(catalogue.listFolder("/a/x")), (std::vector<std::string>{}));
    EXPECT_EQ(rowNames(catalogue.listFolder("/a/")), (std::vector<std::string>{"M/", "x"}));
}

TEST(Upkeep, AttributesLandOnTheExactRecordOnly) {
    PhoneFixture f;
    Catalogue& catalogue = f.context.catalogue;
    for (const char* p : {"/c/a/x", "/a/x.txt", "/a/x/", "/a/x"}) {
        ASSERT_TRUE(catalogue.appendCatalogueRecord(p, 1, 0x07000400));
    }
    catalogue.setCatalogueAttributes("/a/x", 0x21, 0x07000400);
    auto records = catalogue.records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].attributeWord, 0x07000400u);
    EXPECT_EQ(records[1].attributeWord, 0x07000400u);
    EXPECT_EQ(records[2].attributeWord, 0x07000400u);
    EXPECT_EQ(records[3].attributeWord, 0x07002100u) << "second byte replaced";
    EXPECT_EQ(records[3].size, 1u) << "the size field is untouched";
}

// ---- listing ---------------------------------------------------------------------------

TEST(Listing, ChildNamesFoldersAndDuplicates) {
    PhoneFixture f;
    Catalogue& catalogue = f.context.catalogue;
    const std::pair<const char*, uint32_t> records[] = {
        {"/a/mobile/audio/x.mp3", 0x07000400},
        {"/a/mobile/audio/y.mp3", 0x07000400},
        {"/a/mobile/picture/p.jpg", 0x07000400},
        {"/a/Readme.txt", 0x07000400},
        {"/a/README.TXT", 0x07000400},
        {"/a/folder", 0x07001000},
        {"loose.txt", 0x07000400},
        {"dir/inner.txt", 0x07000400},
    };
    for (const auto& [path, attributes] : records) {
        ASSERT_TRUE(catalogue.appendCatalogueRecord(path, 10, attributes));
    }
    struct Case {
        std::string folder;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"/", {"a/", "loose.txt", "dir/"}},
        {"/a/", {"mobile/", "Readme.txt", "folder/"}},
        {"/a/mobile/", {"audio/", "picture/"}},
        {"/a/mobile/audio/", {"x.mp3", "y.mp3"}},
        {"/b/", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(rowNames(catalogue.listFolder(c.folder)), c.rows);
    }
    auto rows = catalogue.listFolder("/a/mobile/audio/");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].size, 10u);
    EXPECT_EQ(rows[0].attributeText, "07    0004");
}

TEST(Listing, AttributeTextOfBothModes) {
    EXPECT_EQ(Catalogue::attributeText(0x07000400, false), "07    0004");
    EXPECT_EQ(Catalogue::attributeText(0x12345678, false), "12    3456");
    EXPECT_EQ(Catalogue::attributeText(0x12345678, true), "34    5678");

    PhoneFixture f;
    runOverUsblan(f.context.runSettings);
    // A Linux phone stores the word with its two low bytes swapped; the pane swaps back.
    ASSERT_TRUE(f.context.catalogue.appendCatalogueRecord("/e/file", 1, 0x07000004));
    ASSERT_TRUE(f.context.catalogue.appendCatalogueRecord("/e/dir", 1, 0x07000010));
    auto rows = f.context.catalogue.listFolder("/e/");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].attributes, 0x07000400u);
    EXPECT_EQ(rows[0].attributeText, "00    0400");
    EXPECT_FALSE(rows[0].folder);
    EXPECT_TRUE(rows[1].folder) << "folder bit after the swap";
}

TEST(Listing, ReadersSeeAPrefixWhileTheLoaderAppends) {
    PhoneFixture f;
    f.model.setRecordsPerBlock(5);
    for (int i = 0; i < 600; ++i) {
        ASSERT_TRUE(f.model.addFile("/a/mobile/f" + std::to_string(1000 + i), Bytes(1)));
    }
    // The loader stops inside its 20th search next until the reader has looked.
    std::mutex mutex;
    std::condition_variable cv;
    bool paused = false;
    bool looked = false;
    int searchNexts = 0;
    f.link->onRequest = [&](uint32_t code, std::span<const uint8_t> in) {
        if (code != kRequestControlTransfer || in.size() < 20 || in[0] != 0x41) return;
        if (bytes::be16(&in[10]) != 0x4A || bytes::be32(&in[16]) != CommandSet::kSearchNext) return;
        if (++searchNexts != 20) return;
        std::unique_lock lock(mutex);
        paused = true;
        cv.notify_all();
        cv.wait(lock, [&] { return looked; });
    };
    Catalogue& catalogue = f.context.catalogue;
    std::thread loader([&] { catalogue.loadCatalogue(); });
    std::vector<std::vector<std::string>> snapshots;
    {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return paused; });
        snapshots.push_back(pathsOf(catalogue.records()));
        EXPECT_EQ(catalogue.listFolder("/a/mobile/").size(), 19u * 5 - 1) << "less the folder";
        looked = true;
        cv.notify_all();
    }
    while (!catalogue.workerDone()) {
        snapshots.push_back(pathsOf(catalogue.records()));
        catalogue.listFolder("/a/mobile/");
    }
    loader.join();
    const auto complete = pathsOf(catalogue.records());
    ASSERT_EQ(complete.size(), 601u);
    EXPECT_EQ(snapshots.front().size(), 19u * 5);
    for (const auto& snapshot : snapshots) {
        ASSERT_LE(snapshot.size(), complete.size());
        EXPECT_TRUE(std::equal(snapshot.begin(), snapshot.end(), complete.begin()));
    }
}

}  // namespace
}  // namespace mdk::test
