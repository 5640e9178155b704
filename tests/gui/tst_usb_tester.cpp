// The USB I/O command tester dialog 1900 on the simulated phone, and Ctrl+Alt+5.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "gui/dialogs/usb_tester_dialog.h"
#include "phone_gui_fixture.h"

using namespace mdk;
using namespace mdk::test;

namespace {

QStringList results(QWidget* dialog) {
    QStringList lines;
    auto* list = child<QListWidget>(dialog, 1901);
    for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
    return lines;
}

const QString kNameHex = "150000004D006F0074006F0072006F006C006100H";
const QString kNameText = " M o t o r o l a ";

}  // namespace

class UsbTesterTest : public QObject {
    Q_OBJECT
private slots:
    void opensWithItsInitialValues();
    void sendCommandReadsTheInterfaceName();
    void payloadFlagSurvivesReopeningAndThePayloadIsKept();
    void badInputAndBusyWorkerSendNothing();
    void ctrlAlt5OpensTheTesterOnlyWhileTheInterfaceIsUp();
};

struct TesterFixture : PhoneGuiFixture {
    TesterFixture() { startWithPhone(); }
    UsbTesterLinks links() {
        return {context->driver,        context->transport,
                context->log,           prompter,
                context->usbTester,     context->config.interfaceIndex,
                [this] { return busy; }};
    }
    bool busy = false;
};

void UsbTesterTest::opensWithItsInitialValues() {
    TesterFixture f;
    f.context->config.interfaceIndex = 5;
    UsbTesterDialog dialog(f.links());
    QCOMPARE(dialog.windowTitle(), QString("USB interface I/O command tester"));
    QCOMPARE(child<QLineEdit>(&dialog, 1906)->text(), QString("102"));
    QCOMPARE(child<QLineEdit>(&dialog, 1910)->text(), QString("80002010"));
    QCOMPARE(child<QLineEdit>(&dialog, 1906)->maxLength(), 9);
    QCOMPARE(child<QLabel>(&dialog, 1913)->text(), QString("Tci"));
    QCOMPARE(child<QLabel>(&dialog, 1904)->text(), QString("5"));
    QCOMPARE(child<QLabel>(&dialog, 1912)->text(), QString("No file loaded!"));
    QVERIFY(!child<QCheckBox>(&dialog, 1907)->isChecked());
    QVERIFY(child<QPushButton>(&dialog, 1905)->isDefault());
}

void UsbTesterTest::sendCommandReadsTheInterfaceName() {
    TesterFixture f;
    UsbTesterDialog dialog(f.links());
    child<QPushButton>(&dialog, 1905)->click();
    QCOMPARE(results(&dialog), (QStringList{kNameHex, kNameText}));
    QCOMPARE(child<QListWidget>(&dialog, 1901)->currentRow(), 1);
    QVERIFY(f.logLines().contains(kNameHex));
    QVERIFY(f.logLines().contains(kNameText));
    // A failing driver request shows no line.
    f.link->failing = true;
    child<QPushButton>(&dialog, 1905)->click();
    QCOMPARE(results(&dialog).size(), 2);
}

void UsbTesterTest::payloadFlagSurvivesReopeningAndThePayloadIsKept() {
    TesterFixture f;
    const std::string path = f.programFolder + "/three.usbpayload";
    GuiFixture::touch(path, "abc");
    {
        UsbTesterDialog dialog(f.links());
        dialog.setFileChooser([](QWidget*) { return QString(); });
        dialog.loadPayload();  // cancelled: nothing changes
        QCOMPARE(child<QLabel>(&dialog, 1912)->text(), QString("No file loaded!"));
        dialog.setFileChooser([&](QWidget*) { return QString::fromStdString(path); });
        dialog.loadPayload();
        QCOMPARE(child<QLabel>(&dialog, 1912)->text(), QString::fromStdString(path));
        child<QCheckBox>(&dialog, 1907)->click();
        QVERIFY(f.context->usbTester.payloadFlag);
    }
    UsbTesterDialog again(f.links());
    QVERIFY(child<QCheckBox>(&again, 1907)->isChecked());
    QCOMPARE(child<QLabel>(&again, 1912)->text(), QString::fromStdString(path));
    // Two sends with the payload: the same three bytes go out each time, one word back.
    child<QPushButton>(&again, 1905)->click();
    child<QPushButton>(&again, 1905)->click();
    QCOMPARE(results(&again), (QStringList{"15000000H", "15000000H"}));
    QCOMPARE(f.context->usbTester.payload, (std::vector<uint8_t>{'a', 'b', 'c'}));
    child<QCheckBox>(&again, 1907)->click();
    QVERIFY(!f.context->usbTester.payloadFlag);
}

void UsbTesterTest::badInputAndBusyWorkerSendNothing() {
    TesterFixture f;
    UsbTesterDialog dialog(f.links());
    child<QLineEdit>(&dialog, 1906)->setText("10G");
    child<QPushButton>(&dialog, 1905)->click();
    QVERIFY(results(&dialog).isEmpty());
    QCOMPARE(f.prompter.shown().size(), size_t(1));
    QCOMPARE(QString::fromStdString(f.prompter.shown()[0].title), QString("Warning"));
    child<QLineEdit>(&dialog, 1906)->setText("102");
    f.busy = true;
    child<QPushButton>(&dialog, 1905)->click();
    QVERIFY(results(&dialog).isEmpty());
    QCOMPARE(f.logLines().last(),
             QString("A phone operation is still running: USB I/O command tester refused."));
    f.busy = false;
    child<QPushButton>(&dialog, 1905)->click();
    QCOMPARE(results(&dialog).size(), 2);
}

void UsbTesterTest::ctrlAlt5OpensTheTesterOnlyWhileTheInterfaceIsUp() {
    TesterFixture f;
    QStringList seen;
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<UsbTesterDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        opened = true;
        child<QPushButton>(dialog, 1905)->click();
        seen = results(dialog);
        dialog->reject();
    });
    f.window->dispatchCommand(ids::kTesterKey);
    QVERIFY(opened);
    QCOMPARE(seen, (QStringList{kNameHex, kNameText}));
    QVERIFY(!f.logLines().contains("Ctrl+Alt+5: not built yet."));

    // Without the interface nothing opens.
    f.context->driver.clearLink();
    const int before = f.logLines().size();
    bool openedAgain = false;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = QApplication::activeModalWidget()) {
            openedAgain = true;
            dialog->close();
        }
    });
    f.window->dispatchCommand(ids::kTesterKey);
    QCoreApplication::processEvents();
    QVERIFY(!openedAgain);
    QCOMPARE(f.logLines().size(), before);
}

QTEST_MAIN(UsbTesterTest)
#include "tst_usb_tester.moc"
