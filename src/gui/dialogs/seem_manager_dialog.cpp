#include "gui/dialogs/seem_manager_dialog.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/event_log.h"
#include "base/prompter.h"
#include "p2k/command_set.h"
#include "platform/safe_file.h"
#include "seem/seem_manager.h"
#include "seem/seem_transfer.h"

namespace mdk {

namespace {

// The file-name buffer of the file dialogs holds 254 characters.
constexpr int kFileNameMax = 254;

QLineEdit* numberEdit(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::number(id));
    return edit;
}

QPushButton* button(QWidget* parent, const char* text, int id) {
    auto* widget = new QPushButton(text, parent);
    widget->setObjectName(QString::number(id));
    return widget;
}

}  // namespace

SeemFileChooser seemFileDialogs(QWidget* parent) {
    return [parent](bool save, const std::string& offeredName) -> std::optional<std::string> {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setNameFilters({"Motorola Seem Files (*.seem)", "All Files (*.*)"});
        dialog.setDefaultSuffix("seem");
        dialog.selectFile(QString::fromStdString(offeredName.substr(0, kFileNameMax)));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return dialog.selectedFiles().first().toStdString();
    };
}

SeemManagerDialog::SeemManagerDialog(CommandSet& commands, Prompter& prompter,
                                     SeemFileChooser chooseFile, QWidget* parent)
    : QDialog(parent),
      commands_(commands),
      prompter_(prompter),
      chooseFile_(std::move(chooseFile)),
      seemEdit_(numberEdit(this, 1801)),
      recordEdit_(numberEdit(this, 1802)) {
    setObjectName("1800");
    setWindowTitle("Seem manager");
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel("Number (hex) :", this), 0, 0);
    layout->addWidget(seemEdit_, 0, 1);
    layout->addWidget(new QLabel("Record (hex) :", this), 1, 0);
    layout->addWidget(recordEdit_, 1, 1);
    auto* read = button(this, "    READ and      save to file.", 1805);
    auto* write = button(this, "  Load from file    and WRITE", 1806);
    layout->addWidget(read, 2, 0);
    layout->addWidget(write, 2, 1);
    connect(read, &QPushButton::clicked, this, &SeemManagerDialog::readAndSave);
    connect(write, &QPushButton::clicked, this, &SeemManagerDialog::loadAndWrite);
    seemEdit_->setFocus();
}

std::string SeemManagerDialog::offeredName() const {
    return seemManagerFileName(seemEdit_->text().toStdString(), recordEdit_->text().toStdString());
}

std::optional<SeemAddress> SeemManagerDialog::typedAddress() {
    auto address =
        parseTypedSeem(seemEdit_->text().toStdString(), recordEdit_->text().toStdString());
    if (!address) warn(kSeemManagerNumbersInvalid);
    return address;
}

void SeemManagerDialog::warn(const std::string& text) {
    prompter_.ask({"Warning", text, PromptButtons::Ok, PromptIcon::Warning});
}

void SeemManagerDialog::readAndSave() {
    auto address = typedAddress();
    if (!address) return;
    auto data = readSeemRecord(commands_, address->seem, address->record);
    if (!data) return;  // the read logged its failure; the dialog stays
    auto path = chooseFile_(true, offeredName());
    if (!path) return;
    std::string error;
    if (!writeFileSafely(*path, *data, ExistingFile::Replace, error)) {
        warn(error);
        return;
    }
    accept();
}

void SeemManagerDialog::loadAndWrite() {
    // The numbers READ accepts: a record that was read can be written back.
    auto address = typedAddress();
    if (!address) return;
    auto path = chooseFile_(false, offeredName());
    if (!path) return;
    std::string error;
    if (!loadSeemRecord(commands_, *address, *path, error)) commands_.log().logLine(error);
    accept();
}

}  // namespace mdk
