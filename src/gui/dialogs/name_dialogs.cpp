#include "gui/dialogs/name_dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace mdk {

namespace {

constexpr int kMaxTextLength = 254;

QPushButton* addButton(QWidget* parent, const QString& text, int id) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    return button;
}

QLineEdit* addEdit(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::number(id));
    edit->setMaxLength(kMaxTextLength);
    return edit;
}

}  // namespace

NewFolderDialog::NewFolderDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("1100");
    setWindowTitle("Marrowdeck");
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel("New directory", this), 0, 0, 1, 2);
    edit_ = addEdit(this, 1103);
    layout->addWidget(edit_, 1, 0, 1, 2);
    auto* ok = addButton(this, "OK", 1101);
    auto* cancel = addButton(this, "Cancel", 1104);
    ok->setDefault(true);
    layout->addWidget(ok, 2, 0);
    layout->addWidget(cancel, 2, 1);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    edit_->setFocus();
}

std::optional<std::string> NewFolderDialog::answer() const {
    if (result() != QDialog::Accepted) return std::nullopt;
    return edit_->text().left(kMaxTextLength).toStdString();
}

std::optional<std::string> NewFolderDialog::ask(QWidget* parent) {
    NewFolderDialog dialog(parent);
    dialog.exec();
    return dialog.answer();
}

CopyTargetDialog::CopyTargetDialog(const std::string& fileName, const std::string& proposedTarget,
                                   QWidget* parent)
    : QDialog(parent) {
    setObjectName("1300");
    setWindowTitle("Marrowdeck");
    auto* layout = new QGridLayout(this);
    auto* name = new QLabel(QString::fromStdString(fileName), this);
    name->setObjectName("1306");
    layout->addWidget(new QLabel("Copy file ", this), 0, 0);
    layout->addWidget(name, 0, 1);
    layout->addWidget(new QLabel("to:", this), 1, 0);
    edit_ = addEdit(this, 1302);
    edit_->setText(QString::fromStdString(proposedTarget));
    layout->addWidget(edit_, 1, 1);
    auto* buttons = new QHBoxLayout;
    auto* ok = addButton(this, "OK", 1303);
    auto* cancel = addButton(this, "Cancel", 1304);
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons, 2, 0, 1, 2);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    setMinimumWidth(420);
    edit_->setFocus();
}

std::optional<std::string> CopyTargetDialog::answer() const {
    if (result() != QDialog::Accepted) return std::nullopt;
    return edit_->text().left(kMaxTextLength).toStdString();
}

std::optional<std::string> CopyTargetDialog::ask(QWidget* parent, const std::string& fileName,
                                                 const std::string& proposedTarget) {
    CopyTargetDialog dialog(fileName, proposedTarget, parent);
    dialog.exec();
    return dialog.answer();
}

}  // namespace mdk
