#pragma once
#include <QPointer>
#include <QWidget>

#include "shell/prompter.h"

namespace mdk {

// Shows prompts as Qt message boxes over the main window. A prompt from another thread
// is shown on the GUI thread; that thread waits for the answer.
class QtPrompter final : public Prompter {
public:
    void setParent(QWidget* parent) { parent_ = parent; }
    PromptAnswer ask(const Prompt& prompt) override;

private:
    PromptAnswer show(const Prompt& prompt);
    QPointer<QWidget> parent_;
};

}  // namespace mdk
