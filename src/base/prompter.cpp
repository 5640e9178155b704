#include "base/prompter.h"

namespace mdk {

PromptAnswer defaultAnswer(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::Ok:
        case PromptButtons::OkCancel:
            return PromptAnswer::Ok;
        case PromptButtons::YesNo:
        case PromptButtons::YesNoCancel:
        case PromptButtons::YesNoToAll:
            return PromptAnswer::Yes;
    }
    return PromptAnswer::Ok;
}

PromptAnswer defaultAnswer(const Prompt& prompt) {
    return prompt.defaultNo ? PromptAnswer::No : defaultAnswer(prompt.buttons);
}

PromptAnswer ScriptedPrompter::ask(const Prompt& prompt) {
    std::lock_guard lock(mutex_);
    shown_.push_back(prompt);
    if (answers_.empty()) return defaultAnswer(prompt);
    PromptAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

PromptAnswer ForwardingPrompter::ask(const Prompt& prompt) {
    return target_ ? target_->ask(prompt) : defaultAnswer(prompt);
}

void ScriptedPrompter::queueAnswer(PromptAnswer answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

std::vector<Prompt> ScriptedPrompter::shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

}  // namespace mdk
