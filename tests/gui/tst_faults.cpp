// Downloads, uploads and the phone listing while the simulated phone misbehaves part-way:
// one row per fault. For every row the window keeps working, the log names the fault, the
// PC file keeps its bytes, a partial phone file is removed or named, and once the phone
// answers again the same command succeeds.
#include <QApplication>

#include "phone_gui_fixture.h"
#include "transfers_fixture.h"

namespace mdk::test {
namespace fs = std::filesystem;

namespace {

constexpr const char* kPcKnown = "known PC content";
constexpr uint32_t kDownloadSize = 30000;  // 30 reads of 1024 bytes
constexpr uint32_t kUploadSize = 20000;    // 20 writes

enum class Operation { Download, Upload };
enum class Partial { None, Removed, Remains };

struct FaultRow {
    const char* name;
    bool p2k05;  // the P2k05 framing (probed), else the classic one
    Operation operation;
    sim::Faults faults;
    const char* reason;  // the transport's words in the log; empty: the command succeeds
    Partial partial = Partial::None;
};

// Faults with one switch set.
template <typename T>
sim::Faults with(T sim::Faults::*field, T value) {
    sim::Faults faults;
    faults.*field = value;
    return faults;
}
sim::Faults dropAfter(int requests) {
    return with(&sim::Faults::dropAfterRequests, requests);
}
sim::Faults staleAt(int command) {
    return with(&sim::Faults::staleSequenceAt, command);
}
sim::Faults failReadAt(int read) {
    return with(&sim::Faults::failReadAt, read);
}
sim::Faults failWriteAt(int write) {
    return with(&sim::Faults::failWriteAt, write);
}
sim::Faults threeWaiting(int polls) {
    return with(&sim::Faults::threeWaitingPolls, polls);
}
sim::Faults silentAfter(int commands) {
    return with(&sim::Faults::silentAfterCommands, commands);
}

const char* const kLinkLost = "the link to the phone was lost";
const char* const kBadReply = "the phone's reply does not belong to the request";
const char* const kStatus14 = "phone status 14: M14";

const std::vector<FaultRow>& faultRows() {
    using enum Operation;
    static const std::vector<FaultRow> rows = {
        {"link dropped mid-download", false, Download, dropAfter(30), kLinkLost},
        {"link dropped mid-upload", true, Upload, dropAfter(20), kLinkLost, Partial::Remains},
        {"stale sequence mid-download", false, Download, staleAt(10), kBadReply},
        {"stale sequence mid-upload", false, Upload, staleAt(10), kBadReply, Partial::Removed},
        {"error status on the 10th read", false, Download, failReadAt(10), kStatus14},
        {"error status on the 10th write", false, Upload, failWriteAt(10), kStatus14,
         Partial::Removed},
        {"refusal of the 10th read (P2k05)", true, Download, failReadAt(10),
         "the phone refused to read the file"},
        {"refusal of the 10th write (P2k05)", true, Upload, failWriteAt(10),
         "the phone refused to write the file (9216 bytes written)", Partial::Removed},
        {"three replies waiting for a while", false, Download, threeWaiting(5), ""},
        {"three replies waiting for good", false, Download, threeWaiting(1000000),
         "no reply from the phone within 40 s"},
        {"silent mid-download (P2k05)", true, Download, silentAfter(10),
         "no reply from the phone within 5 s"},
        {"silent mid-upload", false, Upload, silentAfter(10), "no reply from the phone within 40 s",
         Partial::Remains},
    };
    return rows;
}

std::vector<uint8_t> patternBytes(uint32_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + seed + i / 251);
    return bytes;
}

std::string text(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

// One row's world: a phone with /a/big.bin, a PC folder with big.bin of known content and
// an up.bin to upload.
class FaultScene {
public:
    explicit FaultScene(const FaultRow& row) : row_(row) {
        QVERIFY(f.model.addFile("/a/big.bin", phoneBytes));
        f.startOnPhone();
        if (row.p2k05) f.context->commands.probeCommandSet();
        QCOMPARE(f.context->transport.p2k05Active(), row.p2k05);
        f.loadPhone();
        f.touch(pcTarget, kPcKnown);
        f.touch(upSource, text(upBytes));
    }

    // Runs the row's command from the window: Copy of the one row.
    void copy() {
        if (row_.operation == Operation::Download) {
            f.showPhone(Side::Left, "/a/");
            f.showPc(Side::Right, f.other);
            f.select(Side::Left, {"big.bin"});
        } else {
            f.showPc(Side::Left, f.home);
            f.showPhone(Side::Right, "/a/");
            f.select(Side::Left, {"up.bin"});
        }
        f.dispatch(ids::kCopy);
    }

    // The log line that reports the failure.
    std::string failureLine() const {
        if (row_.operation == Operation::Download) {
            return std::string("Download of /a/big.bin failed (") + row_.reason + "); " + pcTarget +
                   " left as it was.";
        }
        std::string line = std::string("Upload of /a/up.bin failed: ") + row_.reason;
        if (row_.partial == Partial::Removed)
            line += "; the partial file was removed from the phone";
        if (row_.partial == Partial::Remains)
            line += "; a partial file remains on the phone: /a/up.bin";
        return line;
    }

    size_t readsOfBig() const {
        const auto counts = f.model.fileReadCounts();
        const auto it = counts.find("/a/big.bin");
        return it == counts.end() ? 0 : it->second;
    }

    TransferFixture f;
    const std::vector<uint8_t> phoneBytes = patternBytes(kDownloadSize, 1);
    const std::vector<uint8_t> upBytes = patternBytes(kUploadSize, 2);
    const std::string pcTarget = f.other + "/big.bin";
    const std::string upSource = f.home + "/up.bin";

private:
    const FaultRow& row_;
};

}  // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void faultsPartWayLoseNothing_data();
    void faultsPartWayLoseNothing();
    void aFileListBrokenOffIsNamedAndReadAgain();
};

void TestFaults::faultsPartWayLoseNothing_data() {
    QTest::addColumn<int>("index");
    for (size_t i = 0; i < faultRows().size(); ++i) {
        QTest::newRow(faultRows()[i].name) << static_cast<int>(i);
    }
}

void TestFaults::faultsPartWayLoseNothing() {
    QFETCH(int, index);
    const FaultRow& row = faultRows()[static_cast<size_t>(index)];
    FaultScene scene(row);
    TransferFixture& f = scene.f;
    const int logBefore = static_cast<int>(f.logLines().size());
    f.phone.setFaults(row.faults);
    scene.copy();

    const bool fails = row.reason[0] != '\0';
    const QStringList logged = f.logLines().mid(logBefore);
    if (fails) {
        QVERIFY2(logged.contains(QString::fromStdString(scene.failureLine())),
                 qPrintable(logged.join("\n")));
    }
    if (row.operation == Operation::Download) {
        QCOMPARE(f.readFile(scene.pcTarget),
                 fails ? std::string(kPcKnown) : text(scene.phoneBytes));
        // The fault struck after the first read and before the last.
        if (fails && row.faults.threeWaitingPolls == 0) {
            QVERIFY2(scene.readsOfBig() > 1 && scene.readsOfBig() < kDownloadSize / 1024,
                     qPrintable(QString::number(scene.readsOfBig())));
        }
    } else {
        const auto onPhone = f.model.fileBytes("/a/up.bin");
        if (row.partial == Partial::Removed) QVERIFY2(!onPhone, "the partial file stays");
        if (row.partial == Partial::Remains) {
            QVERIFY(onPhone);
            QVERIFY(!onPhone->empty() && onPhone->size() < kUploadSize);
        }
        QVERIFY2(!f.names(Side::Right).contains("up.bin"), "a failed upload is listed");
    }
    QVERIFY(f.window->isEnabled());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!f.workers->busy());

    // The phone answers again: the same command from the window succeeds whole.
    f.phone.setFaults({});
    f.phone.setInterfaceUp(true);
    scene.copy();
    if (row.operation == Operation::Download) {
        QCOMPARE(f.readFile(scene.pcTarget), text(scene.phoneBytes));
    } else {
        QCOMPARE(f.model.fileBytes("/a/up.bin"), std::optional(scene.upBytes));
        QVERIFY(f.names(Side::Right).contains("up.bin"));
    }
}

// A search-next block that announces a record it does not carry: the pane lists what
// arrived whole (nothing when the first block is broken: its records cannot be told
// apart), the log says why, and the next reading lists every file.
void TestFaults::aFileListBrokenOffIsNamedAndReadAgain() {
    struct Case {
        int block;
        const char* logged;
        QStringList root;  // the rows of the phone root
        int listed;        // files listed below /a/
    };
    const Case cases[] = {
        {1,
         "the phone's file list is malformed: its first block announces 8 records in 1876 bytes",
         {},
         0},
        {2,
         "the phone's file list is incomplete: a block announces 8 records and holds 7",
         {"a"},
         14},
    };
    for (const Case& c : cases) {
        PhoneGuiFixture f;
        f.model.clearFiles();
        f.model.addVolume("/a", 1 << 20);
        for (int n = 0; n < 20; ++n) f.model.addFile("/a/f" + std::to_string(100 + n), {1});
        f.startWithPhone();
        sim::Faults faults;
        faults.shortBlockAt = c.block;
        f.phone.setFaults(faults);
        f.pane(Side::Right).chooseLocation(0);
        QCoreApplication::processEvents();  // the loader's log lines are posted
        QVERIFY2(f.logLines().contains(c.logged), qPrintable(f.logLines().join("\n")));
        QCOMPARE(f.names(Side::Right), c.root);
        if (c.listed > 0) {
            f.activate(Side::Right, "a");
            QCOMPARE(f.names(Side::Right).filter(QRegularExpression("^f1")).size(), c.listed);
        }
        QVERIFY(f.window->isEnabled());

        f.phone.setFaults({});
        f.pane(Side::Right).chooseLocation(0);
        QVERIFY(f.context->catalogue.loadProblem().empty());
        if (c.listed == 0) f.activate(Side::Right, "a");  // else the pane is still in /a/
        QCOMPARE(f.names(Side::Right).filter(QRegularExpression("^f1")).size(), 20);
    }
}

}  // namespace mdk::test

QTEST_MAIN(mdk::test::TestFaults)
#include "tst_faults.moc"
