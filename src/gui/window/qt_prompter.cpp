#include "gui/window/qt_prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <chrono>
#include <future>
#include <memory>

namespace mdk {

namespace {

QMessageBox::StandardButtons buttonsOf(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::Ok:
            return QMessageBox::Ok;
        case PromptButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case PromptButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case PromptButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case PromptButtons::YesNoToAll:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll |
                   QMessageBox::NoToAll;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon iconOf(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Warning:
            return QMessageBox::Warning;
        case PromptIcon::Question:
            return QMessageBox::Question;
        case PromptIcon::Error:
            return QMessageBox::Critical;
        case PromptIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

PromptAnswer answerOf(int button) {
    switch (button) {
        case QMessageBox::Yes:
            return PromptAnswer::Yes;
        case QMessageBox::No:
            return PromptAnswer::No;
        case QMessageBox::Cancel:
            return PromptAnswer::Cancel;
        case QMessageBox::YesToAll:
            return PromptAnswer::YesToAll;
        case QMessageBox::NoToAll:
            return PromptAnswer::NoToAll;
        default:
            return PromptAnswer::Ok;
    }
}

}  // namespace

PromptAnswer QtPrompter::show(const Prompt& prompt) {
    QMessageBox box(iconOf(prompt.icon), QString::fromStdString(prompt.title),
                    QString::fromStdString(prompt.text), buttonsOf(prompt.buttons), parent_.data());
    // Texts come from files and servers: never read as markup.
    box.setTextFormat(Qt::PlainText);
    if (prompt.systemModal) box.setWindowModality(Qt::ApplicationModal);
    if (prompt.defaultNo) box.setDefaultButton(QMessageBox::No);
    return answerOf(box.exec());
}

PromptAnswer QtPrompter::ask(const Prompt& prompt) {
    if (closed_) return defaultAnswer(prompt);
    if (QThread::currentThread() == qApp->thread()) return show(prompt);
    // The box runs on the GUI thread; this thread polls for its answer and gives up when
    // the GUI has closed meanwhile.
    auto answer = std::make_shared<std::promise<PromptAnswer>>();
    std::future<PromptAnswer> result = answer->get_future();
    QMetaObject::invokeMethod(
        qApp, [this, prompt, answer] { answer->set_value(show(prompt)); }, Qt::QueuedConnection);
    while (result.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        if (closed_) return defaultAnswer(prompt);
    }
    return result.get();
}

}  // namespace mdk
