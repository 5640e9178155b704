#include "gui/dialogs/usb_tester_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "base/event_log.h"
#include "base/hex_text.h"
#include "base/prompter.h"

namespace mdk {
namespace {

constexpr int kHexEditLength = 9;

QString choosePayloadFile(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({"USB data payload files (*.usbpayload)", "All Files (*.*)"});
    dialog.setDefaultSuffix("usbpayload");
    dialog.selectFile("e398_getvolumes.usbpayload");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

QLineEdit* hexEdit(QWidget* parent, const QString& text, int id) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::number(id));
    edit->setMaxLength(kHexEditLength);
    return edit;
}

QLabel* staticText(QWidget* parent, const QString& text, int id = 0) {
    auto* label = new QLabel(text, parent);
    if (id) label->setObjectName(QString::number(id));
    return label;
}

}  // namespace

UsbTesterDialog::UsbTesterDialog(UsbTesterLinks links, QWidget* parent)
    : QDialog(parent), links_(std::move(links)), chooseFile_(choosePayloadFile) {
    setObjectName("1900");
    setWindowTitle("USB interface I/O command tester");
    auto* layout = new QGridLayout(this);

    command_ = hexEdit(this, QString::number(kTesterInitialCommand, 16), 1906);
    controlCode_ = hexEdit(this, QString::number(kTesterInitialControlCode, 16), 1910);
    layout->addWidget(staticText(this, "Command:"), 0, 0);
    layout->addWidget(command_, 0, 1);
    layout->addWidget(staticText(this, "IOCTL:"), 0, 2);
    layout->addWidget(controlCode_, 0, 3);
    layout->addWidget(staticText(this, "Interface:"), 1, 0);
    layout->addWidget(staticText(this, "Tci", 1913), 1, 1);
    layout->addWidget(staticText(this, "index:"), 1, 2);
    layout->addWidget(staticText(this, QString::number(links_.interfaceIndex), 1904), 1, 3);

    // The box shows the flag as it is: it outlives the dialog.
    payloadBox_ = new QCheckBox("Payload: P2k GetVolumes FSAC command", this);
    payloadBox_->setObjectName("1907");
    payloadBox_->setChecked(links_.state.payloadFlag);
    layout->addWidget(payloadBox_, 2, 0, 1, 4);
    auto* load = new QPushButton("Load payload from file", this);
    load->setObjectName("1909");
    load->setAutoDefault(false);
    layout->addWidget(load, 3, 0, 1, 2);
    fileName_ = staticText(this, QString::fromStdString(links_.state.payloadName), 1912);
    layout->addWidget(fileName_, 3, 2, 1, 2);

    results_ = new QListWidget(this);
    results_->setObjectName("1901");
    results_->setMinimumWidth(420);
    layout->addWidget(results_, 4, 0, 1, 4);
    auto* send = new QPushButton("Send Command", this);
    send->setObjectName("1905");
    send->setDefault(true);
    layout->addWidget(send, 5, 3);

    connect(payloadBox_, &QCheckBox::toggled, this,
            [this](bool on) { links_.state.payloadFlag = on; });
    connect(load, &QPushButton::clicked, this, &UsbTesterDialog::loadPayload);
    connect(send, &QPushButton::clicked, this, &UsbTesterDialog::sendCommand);
    command_->setFocus();
}

bool UsbTesterDialog::parseHexEdit(QLineEdit* edit, const char* name, uint32_t& value) {
    const std::string text = edit->text().trimmed().toStdString();
    if (const auto parsed = parseHex(text)) {
        value = *parsed;
        return true;
    }
    links_.prompter.ask({"Warning",
                         std::string(name) + " \"" + text +
                             "\" is not a hexadecimal number of one to eight digits.",
                         PromptButtons::Ok, PromptIcon::Warning});
    return false;
}

void UsbTesterDialog::sendCommand() {
    if (links_.workerRunning && links_.workerRunning()) {
        links_.log.logLine("A phone operation is still running: USB I/O command tester refused.");
        return;
    }
    uint32_t command = 0;
    uint32_t controlCode = 0;
    if (!parseHexEdit(command_, "Command:", command) ||
        !parseHexEdit(controlCode_, "IOCTL:", controlCode)) {
        return;
    }
    const std::vector<uint8_t> input = testerInput(command, links_.state);
    const auto lines = runTesterRequest(links_.driver, links_.transport, links_.log, controlCode,
                                        input, links_.state.payloadFlag);
    if (!lines) return;  // the driver has logged why
    showLine(QString::fromStdString(lines->hex));
    if (lines->text)
        showLine(
            QString::fromLatin1(lines->text->data(), static_cast<qsizetype>(lines->text->size())));
}

void UsbTesterDialog::showLine(const QString& line) {
    results_->addItem(line);
    results_->setCurrentRow(results_->count() - 1);
}

void UsbTesterDialog::loadPayload() {
    const QString path = chooseFile_ ? chooseFile_(this) : QString();
    if (path.isEmpty()) return;
    if (!loadTesterPayload(path.toStdString(), links_.state)) {
        links_.log.logLine("Cannot read the payload file " + path.toStdString());
        return;
    }
    fileName_->setText(QString::fromStdString(links_.state.payloadName));
}

}  // namespace mdk
