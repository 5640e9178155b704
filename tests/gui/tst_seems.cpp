// The seem commands of the main window over the simulated phone: the "Seem Functions"
// dialog (states, headings, toggles, writes, search, commands it does not know), the seem
// manager and the discovery of seem numbers.
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProxyStyle>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>

#include "app/control_ids.h"
#include "gui/dialogs/seem_functions_dialog.h"
#include "gui/dialogs/seem_manager_dialog.h"
#include "gui/window/seem_commands.h"
#include "p2k/command_set.h"
#include "phone_gui_fixture.h"
#include "seem/seem_discovery.h"
#include "seem/seem_manager.h"

using namespace mdk;
using namespace mdk::test;
using D = SeemFunctionsDialog;
using Bytes = std::vector<uint8_t>;

namespace {

const char* kCatalogue =
    "# test catalogue\r\n"
    "0032;0001;-;-;Idle screen\r\n"                // 0 heading
    "0032;0001;00;0;Clock on the idle screen\r\n"  // 1 byte 0x01: set
    "0032;0001;01;3;Office mode silent\r\n"        // 2 byte 0x00: clear
    "0032;0001;02;7;Back to the office\r\n"        // 3 byte 0x80: set
    "0032;0002;00;1;Camera sound\r\n"              // 4 byte 0x00: clear
    "0032;0001;09;0;Beyond the record\r\n"         // 5 offset past the record
    "0032;0001;00;8;Bit eight\r\n";                // 6 bit above 7

// A window with the phone UI and the seem commands; dialogs are handed to `onDialog`
// instead of being run.
class SeemFixture : public PhoneGuiFixture {
public:
    MainWindow& startSeems(bool withPhone = true) {
        touch(programFolder + "/SeemFunctionsP2k.csv", kCatalogue);
        touch(programFolder + "/SeemFunctionsP2k05.csv", "0104;0001;00;4;Java network\n");
        model.setSeem(0x32, 1, {0x01, 0x00, 0x80, 0xFF});
        model.setSeem(0x32, 2, Bytes(4, 0x00));
        MainWindow& w = withPhone ? startWithPhone() : start();
        if (!withPhone) {
            ui = std::make_unique<PhoneUi>(*context, w, linuxSettings());
            ui->workers().setShowDialog(false);
        }
        seems = std::make_unique<SeemCommands>(*context, w, ui->workers());
        seems->setDialogRunner([this](QDialog& dialog) {
            ++dialogsRun;
            if (onDialog) onDialog(dialog);
        });
        seems->setFileChooser([this](bool save, const std::string& offered) {
            offeredNames.push_back((save ? "save " : "open ") + offered);
            return chosenFile;
        });
        seems->install();
        return w;
    }
    ~SeemFixture() { seems.reset(); }

    // Opens dialog 1850 by F6's command and runs check on it.
    void withFunctions(const std::function<void(D&)>& check) {
        onDialog = [&](QDialog& dialog) { check(static_cast<D&>(dialog)); };
        window->dispatchCommand(ids::kSeemFunc);
        onDialog = nullptr;
    }
    static QTableWidget* table(D& d) { return d.findChild<QTableWidget*>("1851"); }
    template <class T>
    static T* child(QDialog& d, int id) {
        return d.findChild<T*>(QString::number(id));
    }
    static std::vector<FunctionIcon> icons(D& d) {
        std::vector<FunctionIcon> out;
        for (size_t i = 0; i < d.table().size(); ++i) out.push_back(d.table().icon(i));
        return out;
    }
    static void select(D& d, int row) { table(d)->setCurrentCell(row, 0); }

    std::unique_ptr<SeemCommands> seems;
    std::function<void(QDialog&)> onDialog;
    int dialogsRun = 0;
    std::vector<std::string> offeredNames;
    std::optional<std::string> chosenFile;
};

}  // namespace

class SeemsTest : public QObject {
    Q_OBJECT
private slots:
    void everyWayInOpensTheFunctionsDialog();
    void functionsShowStatesColumnsAndHeadings();
    void checkBoxTogglesAndWriteReachesThePhone();
    void onlyTheToggleCommandsToggle();
    void bitsToggleOnDoubleClickSpaceAndEnterOnly();
    void headingAndBadLinesCannotBeToggled();
    void withoutPhoneNoStatesAndWriteGoesAway();
    void searchIgnoresCaseContinuesAndWraps();
    void missingCatalogueWarnsAndP2k05ChoosesItsFile();
    void managerOffersTypedNameAndRefusesBadNumbers();
    void managerReadsIntoAFileAndWritesFromOne();
    void managerWritesBackARecordOutsideTheFileNameRange();
    void discoveryRewritesTheSeemListWithNumbersOnly();
    void discoveryWithoutPhoneKeepsTheList();
};

void SeemsTest::everyWayInOpensTheFunctionsDialog() {
    SeemFixture f;
    MainWindow& w = f.startSeems();
    QVERIFY(w.control(ids::kSeemFunc)->isEnabled());
    for (int id : {ids::kSeemFunc, ids::kMenuSeemFunc, ids::kMenuSeemFunctions}) {
        w.dispatchCommand(id);
    }
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::keyClick(w.pane(Side::Left).widgets().list, Qt::Key_F6);
    QCOMPARE(f.dialogsRun, 4);
    w.dispatchCommand(ids::kMenuOldSeemDialog);
    QCOMPARE(f.dialogsRun, 5);
    QVERIFY(f.logLines().filter("not built yet").isEmpty());
}

void SeemsTest::functionsShowStatesColumnsAndHeadings() {
    SeemFixture f;
    f.startSeems();
    const size_t readsBefore = f.model.commandCount(CommandSet::kReadSeem);
    f.withFunctions([&](D& d) {
        QCOMPARE(d.windowTitle(), QString("Seem Functions"));
        // Records 1 and 2 of seem 0x32, each read once for six lines.
        QCOMPARE(f.model.commandCount(CommandSet::kReadSeem) - readsBefore, size_t(2));
        using I = FunctionIcon;
        QCOMPARE(f.icons(d), (std::vector<I>{I::Heading, I::Set, I::Clear, I::Set, I::Clear,
                                             I::NoState, I::NoState}));
        QTableWidget* t = f.table(d);
        QCOMPARE(t->rowCount(), 7);
        const QStringList headers = {"M131", "M127", "M128", "M129", "M130"};
        const int widths[] = {419, 48, 44, 40, 32};
        for (int c = 0; c < 5; ++c) {
            QCOMPARE(t->horizontalHeaderItem(c)->text(), headers[c]);
            QCOMPARE(t->columnWidth(c), widths[c]);
        }
        QVERIFY(t->item(1, 2)->textAlignment() & Qt::AlignRight);
        QCOMPARE(t->item(1, 0)->text(), QString("Clock on the idle screen"));
        QCOMPARE(t->item(1, 3)->text(), QString("00"));
        QCOMPARE(t->item(0, 0)->background().color(), QColor(255, 255, 0));
        QCOMPARE(t->item(0, 4)->foreground().color(), QColor(255, 0, 0));
        QVERIFY(t->item(1, 0)->background().style() == Qt::NoBrush);
        QCOMPARE(f.child<QPushButton>(d, D::kSearch)->toolTip(), QString("M132"));
        QCOMPARE(f.child<QPushButton>(d, D::kWrite)->toolTip(), QString("M133"));
        QCOMPARE(f.child<QPushButton>(d, D::kClose)->toolTip(), QString("M134"));
        QCOMPARE(f.child<QLineEdit>(d, D::kSearchBox)->text(), QString("Office"));
        QCOMPARE(d.contextMenu()->actions().size(), 3);

        f.select(d, 3);
        QCOMPARE(f.child<QLabel>(d, D::kSeemValue)->text(), QString("0032"));
        QCOMPARE(f.child<QLabel>(d, D::kOffsetValue)->text(), QString("02"));
        QCOMPARE(f.child<QLabel>(d, D::kBitValue)->text(), QString("7"));
        QVERIFY(!f.child<QCheckBox>(d, D::kStatus)->isHidden());
        QVERIFY(f.child<QCheckBox>(d, D::kStatus)->isChecked());
        QCOMPARE(f.child<QLineEdit>(d, D::kActualByte)->text(), QString("80"));
        QCOMPARE(d.searchPosition(), 3);
    });
}

void SeemsTest::checkBoxTogglesAndWriteReachesThePhone() {
    SeemFixture f;
    f.startSeems();
    f.withFunctions([&](D& d) {
        auto* write = f.child<QPushButton>(d, D::kWrite);
        auto* discard = f.child<QPushButton>(d, D::kDiscard);
        QVERIFY(!write->isEnabled() && !discard->isEnabled());
        f.select(d, 2);
        auto* status = f.child<QCheckBox>(d, D::kStatus);
        QVERIFY(!status->isChecked());
        status->click();
        QCOMPARE(d.table().icon(2), FunctionIcon::Set);
        QVERIFY(status->isChecked());
        QCOMPARE(f.child<QLineEdit>(d, D::kActualByte)->text(), QString("08"));
        QVERIFY(write->isEnabled() && discard->isEnabled());
        QCOMPARE(f.model.seem(0x32, 1), (Bytes{0x01, 0x00, 0x80, 0xFF}));  // not yet
        write->click();
        QCOMPARE(f.model.seem(0x32, 1), (Bytes{0x01, 0x08, 0x80, 0xFF}));
        QCOMPARE(d.table().icon(2), FunctionIcon::Set);  // read afresh
        QVERIFY(!write->isEnabled() && !discard->isEnabled());
    });
}

void SeemsTest::onlyTheToggleCommandsToggle() {
    SeemFixture f;
    f.startSeems();
    f.withFunctions([&](D& d) {
        f.select(d, 1);
        for (int stray : {1, 2, 1851, 1869, 9999}) d.command(stray);
        QCOMPARE(d.table().icon(1), FunctionIcon::Set);
        QVERIFY(!d.table().changed());
        d.contextMenu()->actions().at(0)->trigger();  // "Toggle Seem Bit"
        QCOMPARE(d.table().icon(1), FunctionIcon::Clear);
        // Activation alone (a single click on some desktops) toggles nothing.
        emit f.table(d)->itemActivated(f.table(d)->item(1, 0));
        QCOMPARE(d.table().icon(1), FunctionIcon::Clear);
        emit f.table(d)->cellDoubleClicked(1, 0);
        QCOMPARE(d.table().icon(1), FunctionIcon::Set);
        d.command(D::kMenuToggle);
        d.command(D::kMenuDiscard);  // "Discard all changes."
        QCOMPARE(d.table().icon(1), FunctionIcon::Set);
        QVERIFY(!d.table().changed());
        QCOMPARE(f.model.seem(0x32, 1), (Bytes{0x01, 0x00, 0x80, 0xFF}));
        d.command(D::kMenuToggle);
        d.command(D::kMenuWrite);  // "Write Seems to the phone."
        QCOMPARE(f.model.seem(0x32, 1), (Bytes{0x00, 0x00, 0x80, 0xFF}));
        // Escape closes the dialog and frees the copies; nothing is toggled.
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(!d.table().bitStatesLoaded());
        QCOMPARE(f.model.seem(0x32, 1), (Bytes{0x00, 0x00, 0x80, 0xFF}));
    });
}

void SeemsTest::bitsToggleOnDoubleClickSpaceAndEnterOnly() {
    // A style that activates rows at a single click, as some desktops are set up.
    class SingleClickStyle final : public QProxyStyle {
    public:
        int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                      QStyleHintReturn* data) const override {
            if (hint == SH_ItemView_ActivateItemOnSingleClick) return 1;
            return QProxyStyle::styleHint(hint, option, widget, data);
        }
    };
    SeemFixture f;
    f.startSeems();
    f.withFunctions([&](D& d) {
        QTableWidget* list = f.table(d);
        SingleClickStyle style;
        list->setStyle(&style);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        list->setFocus();
        const QPoint cell = list->visualItemRect(list->item(1, 1)).center();
        QSignalSpy activated(list, &QTableWidget::itemActivated);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell);
        QCOMPARE(activated.count(), 1);  // the style did activate the row
        QCOMPARE(list->currentRow(), 1);
        QCOMPARE(d.table().icon(1), FunctionIcon::Set);  // ... but its bit stays
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell);
        QCOMPARE(d.table().icon(1), FunctionIcon::Clear);
        const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
            {Qt::Key_Space, Qt::NoModifier},
            {Qt::Key_Return, Qt::NoModifier},
            {Qt::Key_Enter, Qt::KeypadModifier},
        };
        FunctionIcon expected = FunctionIcon::Clear;
        for (const auto& [key, modifiers] : keys) {
            QTest::keyClick(list, key, modifiers);
            expected = expected == FunctionIcon::Set ? FunctionIcon::Clear : FunctionIcon::Set;
            QCOMPARE(d.table().icon(1), expected);
            QVERIFY(d.isVisible());  // Enter did not press a default button
        }
        list->setStyle(nullptr);
    });
}

void SeemsTest::headingAndBadLinesCannotBeToggled() {
    SeemFixture f;
    f.startSeems();
    f.withFunctions([&](D& d) {
        for (int row : {0, 5, 6}) {
            f.select(d, row);
            QVERIFY(f.child<QCheckBox>(d, D::kStatus)->isHidden());
            QVERIFY(f.child<QLineEdit>(d, D::kActualByte)->isHidden());
            d.command(D::kMenuToggle);
            QVERIFY(!d.table().changed());
            QVERIFY(!f.child<QPushButton>(d, D::kWrite)->isEnabled());
        }
        QCOMPARE(f.child<QLabel>(d, D::kBitValue)->text(), QString("8"));
    });
    QCOMPARE(f.logLines().filter("bit number 8 is above 7").size(), 1);
}

void SeemsTest::withoutPhoneNoStatesAndWriteGoesAway() {
    SeemFixture f;
    f.startSeems(false);
    f.withFunctions([&](D& d) {
        for (size_t i = 1; i < d.table().size(); ++i) {
            QCOMPARE(d.table().icon(i), FunctionIcon::NoState);
        }
        QCOMPARE(d.table().icon(0), FunctionIcon::Heading);
        auto* write = f.child<QPushButton>(d, D::kWrite);
        QVERIFY(!write->isHidden());
        QVERIFY(!write->isEnabled());
        f.select(d, 1);
        QVERIFY(f.child<QCheckBox>(d, D::kStatus)->isHidden());
        d.command(D::kMenuToggle);
        QVERIFY(!d.table().changed());
        QVERIFY(write->isHidden());
    });
}

void SeemsTest::searchIgnoresCaseContinuesAndWraps() {
    SeemFixture f;
    f.startSeems();
    f.withFunctions([&](D& d) {
        auto* box = f.child<QLineEdit>(d, D::kSearchBox);
        auto* search = f.child<QPushButton>(d, D::kSearch);
        QVERIFY(search->isDefault());
        for (const char* text : {"office", "OFFICE"}) {
            box->setText(text);
            search->click();
            QCOMPARE(f.table(d)->currentRow(), 2);
            QCOMPARE(d.windowTitle(), QString("Office mode silent"));
            search->click();
            QCOMPARE(f.table(d)->currentRow(), 3);
            QCOMPARE(d.windowTitle(), QString("Back to the office"));
            search->click();
            QCOMPARE(d.windowTitle(), QString("Seem function not found"));
            QCOMPARE(d.searchPosition(), -1);
        }
        search->click();
        QCOMPARE(f.table(d)->currentRow(), 2);  // from the top again
    });
}

void SeemsTest::missingCatalogueWarnsAndP2k05ChoosesItsFile() {
    SeemFixture f;
    f.startSeems();
    f.context->transport.setP2k05Active(true);
    f.withFunctions([&](D& d) {
        QCOMPARE(d.table().size(), size_t(1));
        QCOMPARE(d.table().functions()[0].description, std::string("Java network"));
    });
    QFile::remove(QString::fromStdString(f.programFolder + "/SeemFunctionsP2k05.csv"));
    f.withFunctions([&](D& d) { QCOMPARE(d.table().size(), size_t(0)); });
    QCOMPARE(f.promptTexts().back(), std::string("Warning|Functions excel file not found"));
}

void SeemsTest::managerOffersTypedNameAndRefusesBadNumbers() {
    SeemFixture f;
    f.startSeems();
    SeemManagerDialog d(f.context->commands, f.context->prompter,
                        [&](bool, const std::string& offered) {
                            f.offeredNames.push_back(offered);
                            return std::optional<std::string>();
                        });
    f.child<QLineEdit>(d, 1801)->setText("32");
    f.child<QLineEdit>(d, 1802)->setText("1");
    QCOMPARE(d.offeredName(), std::string("32_1"));
    f.child<QPushButton>(d, 1805)->click();
    QCOMPARE(f.offeredNames, std::vector<std::string>{"32_1"});
    f.child<QLineEdit>(d, 1801)->setText("0x32");
    const size_t writes = f.model.commandCount(CommandSet::kWriteSeem);
    for (int button : {1805, 1806}) f.child<QPushButton>(d, button)->click();
    QCOMPARE(f.offeredNames.size(), size_t(1));
    QCOMPARE(f.promptTexts(),
             (std::vector<std::string>(2, std::string("Warning|") + kSeemManagerNumbersInvalid)));
    // Load and WRITE takes the numbers READ takes: outside the seem-file name ranges too.
    const size_t prompts = f.promptTexts().size();
    for (const char* seem : {"0", "2FF", "FFFF"}) {
        f.child<QLineEdit>(d, 1801)->setText(seem);
        f.child<QLineEdit>(d, 1802)->setText("FF");
        f.child<QPushButton>(d, 1806)->click();
    }
    QCOMPARE(f.promptTexts().size(), prompts);  // no warning
    QCOMPARE(f.offeredNames, (std::vector<std::string>{"32_1", "0_FF", "2FF_FF", "FFFF_FF"}));
    QCOMPARE(f.model.commandCount(CommandSet::kWriteSeem), writes);  // no file chosen
}

void SeemsTest::managerWritesBackARecordOutsideTheFileNameRange() {
    SeemFixture f;
    f.startSeems();
    f.model.setSeem(0x2FF, 0xFF, {0x10, 0x20});
    const std::string path = f.programFolder + "/high.seem";
    f.chosenFile = path;
    for (int button : {1805, 1806}) {
        if (button == 1806) GuiFixture::touch(path, std::string("\x55\x66", 2));
        f.onDialog = [&](QDialog& dialog) {
            f.child<QLineEdit>(dialog, 1801)->setText("02FF");
            f.child<QLineEdit>(dialog, 1802)->setText("00FF");
            f.child<QPushButton>(dialog, button)->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        };
        f.window->dispatchCommand(ids::kMenuOldSeemDialog);
        if (button == 1805) QCOMPARE(f.readFile(path), std::string("\x10\x20", 2));
    }
    QCOMPARE(f.model.seem(0x2FF, 0xFF), (Bytes{0x55, 0x66}));
}

void SeemsTest::managerReadsIntoAFileAndWritesFromOne() {
    SeemFixture f;
    f.startSeems();
    const std::string path = f.programFolder + "/saved.seem";
    f.chosenFile = path;
    f.onDialog = [&](QDialog& dialog) {
        f.child<QLineEdit>(dialog, 1801)->setText("32");
        f.child<QLineEdit>(dialog, 1802)->setText("1");
        f.child<QPushButton>(dialog, 1805)->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    };
    f.window->dispatchCommand(ids::kMenuOldSeemDialog);
    QCOMPARE(f.readFile(path), std::string("\x01\x00\x80\xFF", 4));
    QCOMPARE(f.offeredNames, std::vector<std::string>{"save 32_1"});

    GuiFixture::touch(path, std::string("\x7E", 1));  // shorter than the record
    f.onDialog = [&](QDialog& dialog) {
        f.child<QLineEdit>(dialog, 1801)->setText("0032");
        f.child<QLineEdit>(dialog, 1802)->setText("0001");
        f.child<QPushButton>(dialog, 1806)->click();
    };
    f.window->dispatchCommand(ids::kMenuOldSeemDialog);
    QCOMPARE(f.model.seem(0x32, 1), (Bytes{0x7E, 0x00, 0x80, 0xFF}));
}

void SeemsTest::discoveryRewritesTheSeemListWithNumbersOnly() {
    SeemFixture f;
    f.startSeems();
    f.context->log.setPackets(true);  // thousands of trace lines in the log
    f.window->dispatchCommand(ids::kMenuDiscoverNumbers);
    QTRY_VERIFY(!f.ui->workers().busy());
    f.context->log.setPackets(false);
    std::vector<uint16_t> expected;
    for (const auto& s : f.model.seems()) {
        if (s.record == 1 && s.seem <= 900) expected.push_back(s.seem);
    }
    QVERIFY(expected.size() >= 3);
    QCOMPARE(f.readFile(f.programFolder + "/Seem.lst"), seemListText(expected));
    QCOMPARE(f.context->seemLists.seemCount(), expected.size());
    QVERIFY(f.logLines().contains("M125"));
    QCOMPARE(f.context->driver.classicSendTimeoutMs(), 5000u);
}

void SeemsTest::discoveryWithoutPhoneKeepsTheList() {
    SeemFixture f;
    f.startSeems(false);
    f.window->dispatchCommand(ids::kMenuDiscoverNumbers);
    QCOMPARE(f.readFile(f.programFolder + "/Seem.lst"), std::string("0032\n0104\n"));
    QVERIFY(!f.logLines().filter("no phone connected").isEmpty());
}

QTEST_MAIN(SeemsTest)
#include "tst_seems.moc"
