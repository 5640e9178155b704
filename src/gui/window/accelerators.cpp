#include "gui/window/accelerators.h"

#include <QApplication>
#include <QKeyEvent>

#include "app/control_ids.h"

namespace mdk {

using namespace ids;

const std::vector<Accelerator>& acceleratorTable() {
    static const std::vector<Accelerator> table = {
        {Qt::Key_F2, Qt::NoModifier, kAttributes},
        {Qt::Key_F3, Qt::NoModifier, kView},
        {Qt::Key_F4, Qt::NoModifier, kEdit},
        {Qt::Key_F5, Qt::NoModifier, kCopy},
        {Qt::Key_F6, Qt::NoModifier, kSeemFunc},
        {Qt::Key_F7, Qt::NoModifier, kNewFolder},
        {Qt::Key_F8, Qt::NoModifier, kDelete},
        {Qt::Key_Delete, Qt::NoModifier, kDelete},
        {Qt::Key_F9, Qt::NoModifier, kRestart},
        {Qt::Key_F10, Qt::NoModifier, kExitKey},
        {Qt::Key_Tab, Qt::NoModifier, kSwitchPaneKey},
        {Qt::Key_F1, Qt::AltModifier, kLeftComboKey},
        {Qt::Key_F2, Qt::AltModifier, kRightComboKey},
        {Qt::Key_Backspace, Qt::NoModifier, kParentKey},
        {Qt::Key_0, Qt::KeypadModifier, kMarkRowKey},
        {Qt::Key_Insert, Qt::KeypadModifier, kMarkRowKey},
        {Qt::Key_R, Qt::AltModifier, kRereadKey},
        {Qt::Key_5, Qt::ControlModifier | Qt::AltModifier, kTesterKey},
        {Qt::Key_5, Qt::ControlModifier | Qt::AltModifier | Qt::KeypadModifier, kTesterKey},
    };
    return table;
}

std::optional<int> acceleratorCommand(int key, Qt::KeyboardModifiers modifiers) {
    for (const Accelerator& entry : acceleratorTable()) {
        if (entry.key == key && entry.modifiers == modifiers) return entry.command;
    }
    return std::nullopt;
}

AcceleratorFilter::AcceleratorFilter(QWidget* window, std::function<void(int)> dispatch)
    : window_(window), dispatch_(std::move(dispatch)) {}

bool AcceleratorFilter::eventFilter(QObject* watched, QEvent* event) {
    const bool press = event->type() == QEvent::KeyPress;
    const bool shortcutOverride = event->type() == QEvent::ShortcutOverride;
    if ((!press && !shortcutOverride) || !window_ || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != window_ || QApplication::activeModalWidget() ||
        QApplication::activePopupWidget()) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    const auto command = acceleratorCommand(key->key(), key->modifiers());
    if (!command) return false;
    if (shortcutOverride) {
        // Claim the key so no widget or shortcut takes it; the press follows.
        key->accept();
        return true;
    }
    dispatch_(*command);
    return true;
}

}  // namespace mdk
