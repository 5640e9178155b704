// Seem > "Compare seems…" over the simulated phone: a seems-only backup against the phone
// after a change, each changed bit with its meaning, "Show in Seem Functions" selecting
// the bit's line there, "Write back old value" after yes only, and sources that cannot be
// read shown as such.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "app/control_ids.h"
#include "app/dispatch_tables.h"
#include "backup/phone_backup.h"
#include "gui/dialogs/seem_compare_dialog.h"
#include "gui/dialogs/seem_functions_dialog.h"
#include "gui/window/seem_commands.h"
#include "p2k/command_set.h"
#include "phone_gui_fixture.h"

using namespace mdk;
using namespace mdk::test;
using C = SeemCompareDialog;
using Bytes = std::vector<uint8_t>;

namespace {

const char* kCatalogue =
    "0032;0001;-;-;Idle screen\n"                // 0 heading
    "0032;0001;00;0;Clock on the idle screen\n"  // 1
    "0032;0001;01;3;Office mode silent\n";       // 2

const Bytes kBefore = {0x01, 0x00, 0x80, 0xFF};

class CompareFixture : public PhoneGuiFixture {
public:
    CompareFixture() {
        for (const char* name : {"/SeemFunctionsP2k.csv", "/SeemFunctionsP2k05.csv"}) {
            touch(programFolder + name, kCatalogue);
        }
        model.setSeem(0x32, 1, kBefore);
        model.setSeem(0x32, 2, Bytes(4, 0x00));
        startWithPhone();
        seems = std::make_unique<SeemCommands>(*context, *window, ui->workers());
        seems->setDialogRunner([this](QDialog& dialog) {
            if (auto* functions = dynamic_cast<SeemFunctionsDialog*>(&dialog)) {
                if (onFunctions) onFunctions(*functions);
            } else if (onCompare) {
                onCompare(static_cast<C&>(dialog));
            }
        });
        seems->setFolderChooser([this](const std::string&) { return chosen; });
        seems->install();
    }
    ~CompareFixture() { seems.reset(); }

    // A seems-only backup of seem 0032 into folder.
    void snapshot() {
        context->commands.probeCommandSet();
        BackupPhone phone{context->commands, context->catalogue, context->runSettings, clock};
        const BackupSummary summary = runBackup(phone, {folder(), {0x32}, true}, {});
        QVERIFY2(summary.ok(), (summary.error + summaryText(summary)).c_str());
        QVERIFY(!std::filesystem::exists(folder() + "/files"));
    }
    std::string folder() const { return other + "/snapshot"; }

    // Opens the dialog by its menu item and runs check on it.
    void withCompare(const std::function<void(C&)>& check) {
        bool ran = false;
        onCompare = [&](C& dialog) {
            ran = true;
            check(dialog);
        };
        window->dispatchCommand(ids::kMenuCompareSeems);
        onCompare = nullptr;
        QVERIFY(ran);
    }
    static QTableWidget* table(C& d) { return child<QTableWidget>(&d, C::kTable); }
    static QStringList rowCells(C& d, int row) {
        QStringList cells;
        for (int c = 0; c < C::kColumnCount; ++c) cells << table(d)->item(row, c)->text();
        return cells;
    }
    static QString summary(C& d) { return child<QLabel>(&d, C::kSummary)->text(); }
    static QPushButton* button(C& d, int id) { return child<QPushButton>(&d, id); }
    // The snapshot against the phone.
    void compareWithPhone(C& d) {
        d.setSource(true, C::kBackupFolder, folder());
        d.setSource(false, C::kPhone);
        d.command(C::kCompare);
    }

    std::unique_ptr<SeemCommands> seems;
    std::function<void(C&)> onCompare;
    std::function<void(SeemFunctionsDialog&)> onFunctions;
    std::optional<std::string> chosen;
};

bool menuHas(const char* text) {
    for (const MenuDefinition& menu : mainMenus()) {
        for (const MenuItem& item : menu.items) {
            if (item.id == ids::kMenuCompareSeems && item.text == text) return true;
        }
    }
    return false;
}

}  // namespace

class SeemCompareTest : public QObject {
    Q_OBJECT
private slots:
    void changedBitsShownWithTheirMeanings();
    void showInSeemFunctionsSelectsTheBit();
    void writeBackAsksFirstAndRestoresOneBit();
    void sourcesThatCannotBeReadAreShown();
};

void SeemCompareTest::changedBitsShownWithTheirMeanings() {
    QVERIFY(menuHas("Compare seems…"));
    CompareFixture f;
    f.snapshot();
    f.withCompare([&](C& d) {
        f.compareWithPhone(d);
        QVERIFY2(CompareFixture::summary(d).contains("same"),
                 qPrintable(CompareFixture::summary(d)));
        QCOMPARE(CompareFixture::table(d)->rowCount(), 0);
    });
    // Bit 0 of byte 0 cleared (named), bit 0 of byte 3 cleared (not named), a record grown.
    f.model.setSeem(0x32, 1, {0x00, 0x00, 0x80, 0xFE});
    f.model.setSeem(0x32, 2, Bytes(5, 0x00));
    f.chosen = f.folder();
    f.withCompare([&](C& d) {
        d.command(C::kBrowseA);
        QCOMPARE(child<QLineEdit>(&d, C::kFolderA)->text().toStdString(), f.folder());
        d.command(C::kCompare);  // B is the phone from the start
        QCOMPARE(CompareFixture::summary(d), QString("2 record(s) differ."));
        QCOMPARE(CompareFixture::table(d)->rowCount(), 3);
        QCOMPARE(CompareFixture::rowCells(d, 0),
                 QStringList({"0032_0001", "00", "01", "00", "0032;0001;00;0", "1>0",
                              "Clock on the idle screen [Idle screen]"}));
        QCOMPARE(CompareFixture::rowCells(d, 1),
                 QStringList({"0032_0001", "03", "FF", "FE", "0032;0001;03;0", "1>0",
                              "(not in the catalogue)"}));
        QCOMPARE(CompareFixture::rowCells(d, 2).first(), QString("0032_0002"));
        QCOMPARE(CompareFixture::rowCells(d, 2).last(),
                 QString("length differs: 4 bytes in A, 5 in B"));
    });
}

void SeemCompareTest::showInSeemFunctionsSelectsTheBit() {
    CompareFixture f;
    f.snapshot();
    f.model.setSeem(0x32, 1, {0x01, 0x08, 0x80, 0xFE});
    int shown = 0;
    f.onFunctions = [&](SeemFunctionsDialog& functions) {
        ++shown;
        auto* list =
            functions.findChild<QTableWidget*>(QString::number(SeemFunctionsDialog::kTable));
        QCOMPARE(list->currentRow(), 2);  // "Office mode silent", 0032;0001;01;3
    };
    f.withCompare([&](C& d) {
        f.compareWithPhone(d);
        QCOMPARE(CompareFixture::table(d)->rowCount(), 2);
        QPushButton* show = CompareFixture::button(d, C::kShowFunction);
        QVERIFY(!show->isEnabled());                     // nothing selected
        CompareFixture::table(d)->setCurrentCell(1, 0);  // the unnamed bit
        QVERIFY(!show->isEnabled());
        CompareFixture::table(d)->setCurrentCell(0, 0);
        QCOMPARE(CompareFixture::rowCells(d, 0)[C::kBitColumn], QString("0032;0001;01;3"));
        QVERIFY(show->isEnabled());
        show->click();
    });
    QCOMPARE(shown, 1);
}

void SeemCompareTest::writeBackAsksFirstAndRestoresOneBit() {
    CompareFixture f;
    f.snapshot();
    f.model.setSeem(0x32, 1, {0x00, 0x00, 0x80, 0xFE});
    f.withCompare([&](C& d) {
        f.compareWithPhone(d);
        CompareFixture::table(d)->setCurrentCell(0, 0);
        QPushButton* write = CompareFixture::button(d, C::kWriteBack);
        QVERIFY(write->isEnabled());
        f.prompter.queueAnswer(PromptAnswer::No);
        write->click();
        QCOMPARE(f.model.seem(0x32, 1), Bytes({0x00, 0x00, 0x80, 0xFE}));
        f.prompter.queueAnswer(PromptAnswer::Yes);
        write->click();
        // Only that bit went back; the table is read again.
        QCOMPARE(f.model.seem(0x32, 1), Bytes({0x01, 0x00, 0x80, 0xFE}));
        QCOMPARE(CompareFixture::table(d)->rowCount(), 1);
        QCOMPARE(CompareFixture::rowCells(d, 0)[C::kBitColumn], QString("0032;0001;03;0"));
    });
    const auto prompts = f.prompter.shown();
    QCOMPARE(prompts.size(), size_t{2});
    QCOMPARE(prompts[0].buttons, PromptButtons::YesNo);
    QCOMPARE(prompts[0].text, std::string("Write bit 0032;0001;00;0 back to 1 on the phone?"));
}

void SeemCompareTest::sourcesThatCannotBeReadAreShown() {
    {
        CompareFixture f;
        f.withCompare([&](C& d) {
            d.setSource(true, C::kBackupFolder, f.other);  // no manifest there
            d.command(C::kCompare);
            QVERIFY2(CompareFixture::summary(d).contains("is not a backup folder"),
                     qPrintable(CompareFixture::summary(d)));
            d.setSource(true, C::kPhone);
            d.command(C::kCompare);
            QCOMPARE(CompareFixture::summary(d), QString("Only one side can be the phone."));
            QVERIFY(!CompareFixture::button(d, C::kWriteBack)->isEnabled());
        });
        // A stored record that no longer matches the manifest.
        f.snapshot();
        std::ofstream(f.folder() + "/seems/0032_0001.seem", std::ios::app) << "x";
        f.withCompare([&](C& d) {
            f.compareWithPhone(d);
            QVERIFY2(CompareFixture::summary(d).contains("does not match the manifest"),
                     qPrintable(CompareFixture::summary(d)));
            QCOMPARE(CompareFixture::table(d)->rowCount(), 0);
        });
    }
    // The phone stops answering while its seems are read; then no phone at all.
    CompareFixture f;
    f.snapshot();
    f.link->failing = true;
    f.withCompare([&](C& d) {
        f.compareWithPhone(d);
        QCOMPARE(CompareFixture::summary(d),
                 QString("Cannot compare: the phone stopped answering while its seems were read"));
        QCOMPARE(CompareFixture::table(d)->rowCount(), 0);
    });
    f.context->driver.setLink(nullptr);
    f.withCompare([&](C& d) {
        f.compareWithPhone(d);
        QCOMPARE(CompareFixture::summary(d), QString("Cannot compare: no phone connected"));
    });
}

QTEST_MAIN(SeemCompareTest)
#include "tst_seem_compare.moc"
