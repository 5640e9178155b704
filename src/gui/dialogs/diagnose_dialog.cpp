#include "gui/dialogs/diagnose_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/prompter.h"
#include "platform/safe_file.h"

namespace mdk {

DiagnoseDialog::DiagnoseDialog(std::string report, Prompter& prompter, QWidget* parent)
    : QDialog(parent), report_(std::move(report)), prompter_(prompter) {
    setObjectName("diagnose");
    setWindowTitle(kTitle);
    auto* layout = new QVBoxLayout(this);
    auto* text = new QPlainTextEdit(QString::fromStdString(report_), this);
    text->setObjectName("report");
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* copy = buttons->addButton("Copy", QDialogButtonBox::ActionRole);
    copy->setObjectName("copy");
    QPushButton* save = buttons->addButton("Save…", QDialogButtonBox::ActionRole);
    save->setObjectName("save");
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName("close");
    layout->addWidget(buttons);
    connect(copy, &QPushButton::clicked, this, &DiagnoseDialog::copyReport);
    connect(save, &QPushButton::clicked, this, &DiagnoseDialog::saveReport);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    chooseFile_ = [this]() -> std::optional<std::string> {
        const QString path =
            QFileDialog::getSaveFileName(this, "Save the report", "marrowdeck-detect.txt");
        if (path.isEmpty()) return std::nullopt;
        return path.toStdString();
    };
    resize(760, 520);
}

void DiagnoseDialog::copyReport() {
    QApplication::clipboard()->setText(QString::fromStdString(report_));
}

bool DiagnoseDialog::saveReport() {
    const std::optional<std::string> path = chooseFile_ ? chooseFile_() : std::nullopt;
    if (!path) return false;
    std::string error;
    const auto* bytes = reinterpret_cast<const uint8_t*>(report_.data());
    if (!writeFileSafely(*path, {bytes, report_.size()}, ExistingFile::Replace, error)) {
        prompter_.ask({kTitle, "The report could not be saved: " + error, PromptButtons::Ok,
                       PromptIcon::Warning});
        return false;
    }
    return true;
}

}  // namespace mdk
