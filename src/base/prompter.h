#pragma once
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace mdk {

// YesNoToAll: Yes, No, Yes to all, No to all (a question asked once per row of several).
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, YesNoToAll };
enum class PromptIcon { None, Information, Warning, Question, Error };
enum class PromptAnswer { Ok, Cancel, Yes, No, YesToAll, NoToAll };

struct Prompt {
    std::string title;
    std::string text;
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::None;
    bool systemModal = false;
    // No is the default button (a question whose safe answer is No).
    bool defaultNo = false;
};

// Every message box of the program goes through this interface: the GUI shows a modal
// box, the command-line tool prints the text, tests script the answers.
class Prompter {
public:
    virtual ~Prompter() = default;
    // Shows the prompt and blocks until it is answered.
    virtual PromptAnswer ask(const Prompt& prompt) = 0;
};

// Answers prompts from a queue (the first button's answer when the queue is empty) and
// keeps every prompt it was shown. Thread-safe.
class ScriptedPrompter final : public Prompter {
public:
    PromptAnswer ask(const Prompt& prompt) override;
    void queueAnswer(PromptAnswer answer);
    std::vector<Prompt> shown() const;

private:
    mutable std::mutex mutex_;
    std::deque<PromptAnswer> answers_;
    std::vector<Prompt> shown_;
};

// Passes prompts on to another prompter chosen later (the GUI's, the CLI's, a test's);
// without one, a prompt gets its default answer.
class ForwardingPrompter final : public Prompter {
public:
    PromptAnswer ask(const Prompt& prompt) override;
    void setTarget(Prompter* target) { target_ = target; }

private:
    Prompter* target_ = nullptr;
};

// The answer a box gives when its default (first) button is pressed.
PromptAnswer defaultAnswer(PromptButtons buttons);
// The answer of a prompt's default button: No when it asks for that, else as above.
PromptAnswer defaultAnswer(const Prompt& prompt);

}  // namespace mdk
