#pragma once
#include <QDialog>
#include <QString>
#include <functional>

#include "p2k/usb_tester.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace mdk {

class EventLog;
class Prompter;
class Transport;
class UsbDriver;

// What the USB I/O command tester works with.
struct UsbTesterLinks {
    UsbDriver& driver;
    // Its phone-session lock keeps the request apart from every other phone operation.
    Transport& transport;
    EventLog& log;
    Prompter& prompter;
    // The payload and payload flag, kept while the program runs.
    UsbTesterState& state;
    // The USB interface index setting, shown in decimal.
    int interfaceIndex = 8;
    // True while a worker thread runs a phone operation: Send Command is then refused.
    std::function<bool()> workerRunning;
};

// Dialog 1900, "USB interface I/O command tester": sends one raw driver request with the
// command value (or the loaded payload) and control code typed in, and lists the reply as
// a hexadecimal line and a text line, both also written to the event log.
class UsbTesterDialog final : public QDialog {
    Q_OBJECT
public:
    // Chooses the payload file; an empty name means cancelled.
    using FileChooser = std::function<QString(QWidget* parent)>;

    explicit UsbTesterDialog(UsbTesterLinks links, QWidget* parent = nullptr);

    // The payload file dialog ("*.usbpayload"); tests put their own chooser in.
    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

    // Button 1905.
    void sendCommand();
    // Button 1909.
    void loadPayload();

private:
    void showLine(const QString& line);
    bool parseHexEdit(QLineEdit* edit, const char* name, uint32_t& value);

    UsbTesterLinks links_;
    FileChooser chooseFile_;
    QLineEdit* command_ = nullptr;
    QLineEdit* controlCode_ = nullptr;
    QCheckBox* payloadBox_ = nullptr;
    QLabel* fileName_ = nullptr;
    QListWidget* results_ = nullptr;
};

}  // namespace mdk
