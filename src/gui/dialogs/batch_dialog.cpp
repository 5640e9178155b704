#include "gui/dialogs/batch_dialog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "batch/package_file.h"

namespace mdk {

BatchDialog::BatchDialog(const std::string& packagePath,
                         const std::vector<std::string>& packageLines, bool waitingForUsblan,
                         Hooks hooks, QWidget* parent)
    : QDialog(parent),
      hooks_(std::move(hooks)),
      lines_(packageListHeader(packagePath, waitingForUsblan)),
      list_(new QListWidget(this)),
      executeButton_(new QPushButton("Execute", this)),
      cancelButton_(new QPushButton("Cancel", this)) {
    setObjectName("1600");
    setWindowTitle("Marrowdeck :  execute mrdk batch file");
    lines_.insert(lines_.end(), packageLines.begin(), packageLines.end());

    list_->setObjectName("1603");
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const auto& line : lines_) {
        // Package text is 8-bit; names written on Linux are usually UTF-8.
        list_->addItem(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    }
    executeButton_->setObjectName("1601");
    executeButton_->setDefault(true);
    cancelButton_->setObjectName("1602");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(executeButton_);
    buttons->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(560, 380);

    connect(executeButton_, &QPushButton::clicked, this, &BatchDialog::execute);
    connect(cancelButton_, &QPushButton::clicked, this, &BatchDialog::cancel);
    executeButton_->setFocus();
}

void BatchDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    executeButton_->setFocus();
    if (watchStarted_) return;
    watchStarted_ = true;
    if (hooks_.startLinkWatch) hooks_.startLinkWatch();
}

void BatchDialog::execute() {
    executeButton_->setEnabled(false);
    cancelButton_->setEnabled(false);
    executing_ = true;
    const std::vector<std::string> lines(
        lines_.begin() + static_cast<ptrdiff_t>(std::min(kFirstPackageListLine, lines_.size())),
        lines_.end());
    if (hooks_.execute) hooks_.execute(lines);
    executing_ = false;
    outcome_ = Outcome::Executed;
    accept();
}

void BatchDialog::reject() {
    if (!executing_) QDialog::reject();
}

void BatchDialog::cancel() {
    if (hooks_.cancelled) hooks_.cancelled();
    outcome_ = Outcome::Cancelled;
    reject();
}

}  // namespace mdk
