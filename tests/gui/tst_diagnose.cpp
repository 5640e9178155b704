// Help -> "Diagnose connection…": the report built on the worker over a fixture tree, the
// probe through the window's own link (writing nothing), and the dialog's Copy and Save….
#include <QClipboard>
#include <QPlainTextEdit>
#include <QPushButton>
#include <fstream>
#include <sstream>

#include "gui/dialogs/diagnose_dialog.h"
#include "gui/window/diagnose_command.h"
#include "transfers_fixture.h"

namespace mdk::test {

class TestDiagnose : public QObject {
    Q_OBJECT
private slots:
    void reportProbesThroughTheWindowsOwnLink();
    void withoutALinkTheReportSaysSo();
    void copyAndSaveTakeTheWholeReport();
    void aFailedSaveIsShown();
};

namespace {

std::string fixtureRoot(const std::string& name) {
    const char* source = std::getenv("MDK_SOURCE_DIR");
    return std::string(source ? source : ".") + "/tests/fixtures/detect/" + name;
}

struct DiagnoseFixture : TransferFixture {
    explicit DiagnoseFixture(const std::string& tree) {
        startOnPhone();
        diagnose = std::make_unique<DiagnoseCommand>(*context, *window, *workers, "sim");
        diagnose->setRoot(fixtureRoot(tree));
        diagnose->setShower([this](const std::string& text) { reports.push_back(text); });
        diagnose->install();
    }
    ~DiagnoseFixture() { diagnose.reset(); }

    std::string lastLine() const {
        std::istringstream in(reports.back());
        std::string line, last;
        while (std::getline(in, line)) last = line;
        return last;
    }

    std::unique_ptr<DiagnoseCommand> diagnose;
    std::vector<std::string> reports;
};

}  // namespace

void TestDiagnose::reportProbesThroughTheWindowsOwnLink() {
    DiagnoseFixture f("p2k_rule_applied");
    const auto filesBefore = f.model.files().size();
    auto countsBefore = f.model.commandCounts();
    f.dispatch(ids::kMenuDiagnose);
    QCOMPARE(f.reports.size(), size_t{1});
    const std::string& report = f.reports[0];
    QCOMPARE(f.lastLine(), std::string("ready"));
    QVERIFY2(report.find("device 2-1: 22b8:4901") != std::string::npos, report.c_str());
    QVERIFY2(report.find("\"Motorola Test Command\"") != std::string::npos, report.c_str());
    QVERIFY2(report.find("probe (sim): framing P2k05, family GSM") != std::string::npos,
             report.c_str());
    QVERIFY(report.find("0123456789") == std::string::npos);  // the serial is masked
    // Only seem reads and file-system queries went to the phone.
    for (const auto& [command, count] : f.model.commandCounts()) {
        if (count == countsBefore[command]) continue;
        QVERIFY2(command == 0x20 || command == 0x4A, qPrintable(QString::number(command)));
    }
    QVERIFY(f.model.commandCounts()[0x20] > countsBefore[0x20]);
    QCOMPARE(f.model.files().size(), filesBefore);
}

void TestDiagnose::withoutALinkTheReportSaysSo() {
    DiagnoseFixture f("no_usb");
    f.context->driver.clearLink();
    f.dispatch(ids::kMenuDiagnose);
    QCOMPARE(f.reports.size(), size_t{1});
    QCOMPARE(f.lastLine(), std::string("no Motorola device"));
    QVERIFY2(f.reports[0].find("this program has no link to the phone open") != std::string::npos,
             f.reports[0].c_str());
    QVERIFY2(f.reports[0].find("USB: no /sys/bus/usb") != std::string::npos, f.reports[0].c_str());
}

void TestDiagnose::copyAndSaveTakeTheWholeReport() {
    GuiFixture g;
    g.start();
    const std::string report = "Marrowdeck report\nready\n";
    DiagnoseDialog dialog(report, g.context->prompter);
    QCOMPARE(dialog.windowTitle(), QString("Diagnose connection"));
    QCOMPARE(dialog.findChild<QPlainTextEdit*>("report")->toPlainText().toStdString(), report);
    QApplication::clipboard()->clear();
    dialog.findChild<QPushButton*>("copy")->click();
    QCOMPARE(QApplication::clipboard()->text().toStdString(), report);

    const std::string path = g.other + "/report.txt";
    dialog.setSaveChooser([&path] { return std::optional(path); });
    dialog.findChild<QPushButton*>("save")->click();
    std::ifstream in(path, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QCOMPARE(saved, report);

    dialog.setSaveChooser([] { return std::optional<std::string>(); });  // cancelled
    QVERIFY(!dialog.saveReport());
}

void TestDiagnose::aFailedSaveIsShown() {
    GuiFixture g;
    g.start();
    const size_t before = g.prompter.shown().size();
    DiagnoseDialog dialog("text\n", g.context->prompter);
    dialog.setSaveChooser([&g] { return std::optional(g.other + "/no/such/folder/r.txt"); });
    g.prompter.queueAnswer(PromptAnswer::Ok);
    QVERIFY(!dialog.saveReport());
    const auto shown = g.prompter.shown();
    QCOMPARE(shown.size(), before + 1);
    QCOMPARE(shown.back().title, std::string("Diagnose connection"));
    QVERIFY2(shown.back().text.find("could not be saved") != std::string::npos,
             shown.back().text.c_str());
}

}  // namespace mdk::test

QTEST_MAIN(mdk::test::TestDiagnose)
#include "tst_diagnose.moc"
