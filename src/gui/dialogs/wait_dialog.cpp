#include "gui/dialogs/wait_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "base/visible_text.h"

namespace mdk {

namespace {

QLabel* text(QWidget* parent, const QString& content, int id, bool visible = true) {
    auto* label = new QLabel(content, parent);
    label->setObjectName(QString::number(id));
    label->setWordWrap(true);
    label->setVisible(visible);
    return label;
}

}  // namespace

WaitDialog::WaitDialog(std::function<bool()> workerDone, QWidget* parent, WaitProgress progress)
    : QDialog(parent),
      workerDone_(std::move(workerDone)),
      progress_(std::move(progress)),
      timer_(new QTimer(this)) {
    setObjectName("1700");
    setWindowTitle("Please wait until operation complete!");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text(this,
                           "Opposite to previous releases now you can switch to another "
                           "application, or do something different on your desktop while "
                           "Marrowdeck do its job!",
                           1701));
    layout->addWidget(text(this,
                           "If you can't wait. I enable you to close this window, and navigate "
                           "filesystem while loading filenames. But don't forget to leave, and "
                           "re-enter into desired folder to refresh its contents.",
                           1001));
    layout->addWidget(text(this, "", 1702, false));
    layout->addWidget(text(this, "filenames loaded.", 1703, false));
    if (progress_.text) {
        progressLine_ = text(this, "", kProgressLineId);
        layout->addWidget(progressLine_);
    }
    if (progress_.cancel) {
        cancelButton_ = new QPushButton("Cancel", this);
        cancelButton_->setObjectName("cancel");
        cancelButton_->setAutoDefault(false);
        connect(cancelButton_, &QPushButton::clicked, this, &WaitDialog::cancel);
        layout->addWidget(cancelButton_, 0, Qt::AlignRight);
    }
    // With a progress line the dialog is wider, to keep that line on one line.
    setMinimumWidth(progress_.text ? kProgressWidth : 380);
    timer_->setObjectName(QString::number(kTimerId));
    timer_->setInterval(kPollMs);
    connect(timer_, &QTimer::timeout, this, &WaitDialog::poll);
}

void WaitDialog::showEvent(QShowEvent* event) {
    timer_->start();
    QDialog::showEvent(event);
}

void WaitDialog::poll() {
    if (workerDone_ && workerDone_()) {
        done(QDialog::Accepted);
        return;
    }
    if (progressLine_)
        progressLine_->setText(QString::fromStdString(visibleText(progress_.text())));
}

void WaitDialog::cancel() {
    if (!progress_.cancel) return;
    progress_.cancel();
    cancelButton_->setEnabled(false);
    cancelButton_->setText("Cancelling...");
}

void WaitDialog::keyPressEvent(QKeyEvent* event) {
    // The dialog has no commands: Escape and Enter do nothing.
    event->accept();
}

void WaitDialog::done(int result) {
    timer_->stop();
    QDialog::done(result);
}

}  // namespace mdk
