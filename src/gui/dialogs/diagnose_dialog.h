#pragma once
#include <QDialog>
#include <functional>
#include <optional>
#include <string>

class QPlainTextEdit;

namespace mdk {

class Prompter;

// Help -> "Diagnose connection…": the connection report in a read-only text box, with
// "Copy" (to the clipboard) and "Save…" (to a file the user picks), for bug reports.
class DiagnoseDialog final : public QDialog {
    Q_OBJECT
public:
    // The file to save to; nullopt when the user cancels.
    using SaveChooser = std::function<std::optional<std::string>()>;

    DiagnoseDialog(std::string report, Prompter& prompter, QWidget* parent = nullptr);
    void setSaveChooser(SaveChooser chooser) { chooseFile_ = std::move(chooser); }

    void copyReport();
    // Writes the report to the chosen file; a failure is shown in a box. False when
    // cancelled or failed.
    bool saveReport();

    static constexpr const char* kTitle = "Diagnose connection";

private:
    std::string report_;
    Prompter& prompter_;
    SaveChooser chooseFile_;
};

}  // namespace mdk
