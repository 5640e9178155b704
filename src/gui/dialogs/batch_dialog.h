#pragma once
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace mdk {

// Dialog 1600, "Marrowdeck :  execute mrdk batch file": the package's path, a separator,
// the wait hint while the "P2k05 over USBLAN" link is not up, then the package's lines.
// The link watch starts as the dialog opens. "Execute" runs the lines from list line 2 on
// and ends the dialog; "Cancel" marks the run as cancelled; the close box only closes.
class BatchDialog final : public QDialog {
    Q_OBJECT
public:
    enum class Outcome { Closed, Cancelled, Executed };

    struct Hooks {
        // Starts the link watch of the mode (without its once-only test).
        std::function<void()> startLinkWatch;
        // Runs the given lines (list line 2 to the end) and returns when they have run.
        std::function<void(const std::vector<std::string>&)> execute;
        // The user cancelled: the start-up then reports nothing.
        std::function<void()> cancelled;
    };

    // packageLines: the package's lines, nullopt-free (a missing package has none).
    BatchDialog(const std::string& packagePath, const std::vector<std::string>& packageLines,
                bool waitingForUsblan, Hooks hooks, QWidget* parent = nullptr);

    Outcome outcome() const { return outcome_; }
    // The list's lines as the dialog holds them (8-bit text, unchanged).
    const std::vector<std::string>& listLines() const { return lines_; }

public slots:
    void execute();
    void cancel();
    // The close box and Escape: ignored while the lines run.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Hooks hooks_;
    std::vector<std::string> lines_;
    QListWidget* list_;
    QPushButton* executeButton_;
    QPushButton* cancelButton_;
    Outcome outcome_ = Outcome::Closed;
    bool watchStarted_ = false;
    bool executing_ = false;
};

}  // namespace mdk
