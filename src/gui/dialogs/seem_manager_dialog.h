#pragma once
#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "seem/seem_file.h"

class QLineEdit;
class QPushButton;

namespace mdk {

class CommandSet;
class Prompter;

// Chooses a seem file: save true for the save dialog, false for the open dialog; the
// name offered; nullopt when the user cancels.
using SeemFileChooser =
    std::function<std::optional<std::string>(bool save, const std::string& offeredName)>;

// The file dialogs of the seem manager: "Motorola Seem Files" (*.seem) and "All Files",
// default extension "seem".
SeemFileChooser seemFileDialogs(QWidget* parent);

// Dialog 1800, "Seem manager": one record by typed numbers (hexadecimal). READ and save
// reads the record into a file; Load and WRITE writes a file into the record. Each closes
// the dialog when it has done its work.
class SeemManagerDialog final : public QDialog {
    Q_OBJECT
public:
    SeemManagerDialog(CommandSet& commands, Prompter& prompter, SeemFileChooser chooseFile,
                      QWidget* parent = nullptr);

    // The name the file dialogs offer: the two edits' texts joined by "_".
    std::string offeredName() const;

public slots:
    void readAndSave();
    void loadAndWrite();

private:
    std::optional<SeemAddress> typedAddress();
    void warn(const std::string& text);

    CommandSet& commands_;
    Prompter& prompter_;
    SeemFileChooser chooseFile_;
    QLineEdit* seemEdit_;
    QLineEdit* recordEdit_;
};

}  // namespace mdk
