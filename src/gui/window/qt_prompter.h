#pragma once
#include <QPointer>
#include <QWidget>
#include <atomic>

#include "base/prompter.h"

namespace mdk {

// Shows prompts as Qt message boxes over the main window. A prompt from another thread
// is shown on the GUI thread while that thread waits for the answer; once the event loop
// has ended (close()), waiting prompts and new ones get the default answer, so a worker
// never hangs on a box that can no longer be shown.
class QtPrompter final : public Prompter {
public:
    void setParent(QWidget* parent) { parent_ = parent; }
    PromptAnswer ask(const Prompt& prompt) override;
    // The GUI is gone: no more boxes.
    void close() { closed_ = true; }

private:
    PromptAnswer show(const Prompt& prompt);
    QPointer<QWidget> parent_;
    std::atomic<bool> closed_{false};
};

}  // namespace mdk
