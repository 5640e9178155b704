#include "gui/dialogs/folder_chooser.h"

#include <QFileDialog>
#include <QFileInfo>
#include <filesystem>

#include "base/prompter.h"

namespace mdk {

std::optional<std::string> chooseFolderWithDialog(QWidget* parent, const std::string& title,
                                                  const std::string& startFolder) {
    class FolderDialog final : public QFileDialog {
    public:
        using QFileDialog::QFileDialog;
        void accept() override {
            const QStringList chosen = selectedFiles();
            if (chosen.size() == 1 && !QFileInfo::exists(chosen.first())) {
                QDialog::accept();
                return;
            }
            QFileDialog::accept();
        }
    };
    FolderDialog dialog(parent, QString::fromStdString(title), QString::fromStdString(startFolder));
    const QFileInfo start(QString::fromStdString(startFolder));
    if (!start.exists()) {  // offered by name in its parent folder
        dialog.setDirectory(start.absolutePath());
        dialog.selectFile(start.fileName());
    }
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first().toStdString();
}

bool makeFolderIfMissing(Prompter& prompter, const std::string& title, const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::exists(folder, error)) return true;
    const PromptAnswer answer =
        prompter.ask({title, "The folder " + folder + " does not exist. Make it?",
                      PromptButtons::YesNo, PromptIcon::Question});
    if (answer != PromptAnswer::Yes) return false;
    if (!fs::create_directories(folder, error) && !fs::is_directory(folder)) {
        prompter.ask({title, "Cannot make the folder " + folder + ": " + error.message(),
                      PromptButtons::Ok, PromptIcon::Warning});
        return false;
    }
    return true;
}

}  // namespace mdk
