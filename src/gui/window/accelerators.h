#pragma once
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

namespace mdk {

// One entry of accelerator table 2000: a key with its modifiers and the command it
// becomes.
struct Accelerator {
    int key;
    Qt::KeyboardModifiers modifiers;
    int command;
};

const std::vector<Accelerator>& acceleratorTable();
// The command of a key press, if the table has one.
std::optional<int> acceleratorCommand(int key, Qt::KeyboardModifiers modifiers);

// Turns key presses meant for the main window into commands before any widget sees them
// as keys, as the message loop offers every message to the accelerator table first.
// Installed on the application; keys of other windows (dialogs, popups) pass.
class AcceleratorFilter final : public QObject {
    Q_OBJECT
public:
    AcceleratorFilter(QWidget* window, std::function<void(int)> dispatch);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
    std::function<void(int)> dispatch_;
};

}  // namespace mdk
