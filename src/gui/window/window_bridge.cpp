#include "gui/window/window_bridge.h"

#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "app/dispatch_tables.h"
#include "gui/window/main_window.h"
#include "panes/drive_entries.h"

namespace mdk {

void ProgressBarSink::setRange(int low, int high) {
    queue({Change::Range, low, high});
}

void ProgressBarSink::setPosition(int position) {
    queue({Change::Position, position, 0});
}

void ProgressBarSink::step() {
    queue({Change::Steps, 1, 0});
}

void ProgressBarSink::queue(Change change) {
    QProgressBar* bar = bar_.data();
    if (!bar) return;
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        if (change.kind == Change::Steps && !pending_.empty() &&
            pending_.back().kind == Change::Steps) {
            pending_.back().first += change.first;
        } else {
            pending_.push_back(change);
        }
        post = !flushPosted_;
        flushPosted_ = true;
    }
    if (!post) return;
    if (QThread::currentThread() == bar->thread()) {
        flush();
    } else {
        QMetaObject::invokeMethod(
            bar, [this] { flush(); }, Qt::QueuedConnection);
    }
}

void ProgressBarSink::flush() {
    std::vector<Change> changes;
    {
        std::lock_guard lock(mutex_);
        changes.swap(pending_);
        flushPosted_ = false;
    }
    QProgressBar* bar = bar_.data();
    if (!bar) return;
    for (const Change& change : changes) {
        switch (change.kind) {
            case Change::Range:
                bar->setRange(change.first, change.second);
                break;
            case Change::Position:
                bar->setValue(change.first);
                break;
            case Change::Steps:
                bar->setValue(std::min(bar->value() + change.first, bar->maximum()));
                break;
        }
    }
}

WindowBridge::WindowBridge(MainWindow& window, AppContext& context)
    : window_(window), context_(context) {}

void WindowBridge::post(std::function<void()> change) {
    QMetaObject::invokeMethod(&window_, std::move(change), Qt::AutoConnection);
}

void WindowBridge::setStatusText(int part, const std::string& text) {
    window_.postStatusText(part, text);
}

void WindowBridge::showDefaultStatus() {
    static constexpr int kParts[] = {3, 1, 2, 0};
    for (int i = 0; i < 4; ++i) {
        setStatusText(kParts[i], context_.log.message(77 + i));
    }
}

void WindowBridge::setEntryIcons(uint32_t first, uint32_t last, EntryIcon icon) {
    for (Side side : {Side::Left, Side::Right}) {
        auto entries = context_.panes.entries(side);
        for (uint32_t i = first; i <= last && i < entries.size(); ++i) entries[i].icon = icon;
        context_.panes.setEntries(side, std::move(entries));
    }
}

void WindowBridge::phoneInterfaceUp() {
    post([this] {
        setEntryIcons(kSeemEntry, kSeemEntry, EntryIcon::Program);
        QWidget* button = window_.control(ids::kSeemFunc);
        if (button) button->setEnabled(true);
    });
}

void WindowBridge::phoneInterfaceDown() {
    context_.panes.resetPhoneEntries();
    showDefaultStatus();
    post([this] {
        if (QWidget* button = window_.control(ids::kSeemFunc)) button->setEnabled(false);
    });
}

void WindowBridge::refreshDriveEntries(const std::string&) {
    post([this] {
        const auto message = [this](int n) { return context_.log.message(n); };
        const auto drives = systemDriveEntries(message);
        for (Side side : {Side::Left, Side::Right}) {
            window_.pcPanes().fillLocations(side, drives, context_.config.favouriteFolder);
        }
    });
}

void WindowBridge::showPhoneVolumes(const std::vector<std::string>& entries) {
    std::array<std::string, kPhoneEntryCount> texts;
    for (size_t i = 0; i < texts.size() && i < entries.size(); ++i) texts[i] = entries[i];
    context_.panes.setPhoneEntryTexts(texts);
    post([this] { setEntryIcons(0, kSeemEntry, EntryIcon::Program); });
}

void WindowBridge::replaceFirstLocation(const std::string& text) {
    post([this, text] {
        for (Side side : {Side::Left, Side::Right}) {
            auto entries = context_.panes.entries(side);
            if (entries.empty()) continue;
            entries[0] = {text, EntryIcon::Program, ""};
            context_.panes.setEntries(side, std::move(entries));
        }
    });
}

void WindowBridge::resetProgress() {
    window_.progressSink().setPosition(0);
}

void WindowBridge::closeMainWindow() {
    post([this] { window_.close(); });
}

void WindowBridge::setPhoneLocations(const std::vector<VolumeEntry>& entries) {
    // Texts and icons together: an empty slot keeps its empty-slot icon.
    for (Side side : {Side::Left, Side::Right}) {
        auto list = context_.panes.entries(side);
        for (size_t i = 0; i < kPhoneEntryCount && i < entries.size() && i < list.size(); ++i) {
            list[i].text = entries[i].text;
            list[i].icon = entries[i].emptySlot ? EntryIcon::EmptySlot : EntryIcon::Program;
        }
        context_.panes.setEntries(side, std::move(list));
    }
}

std::string WindowBridge::leftLocationText() {
    // The phone volume the user chose last (in either pane); never a PC entry. After the
    // seem entry, the first volume.
    uint32_t index = context_.panes.phoneVolumeIndex.load();
    if (index >= kSeemEntry) index = 0;
    auto entry = context_.panes.entry(Side::Left, index);
    return entry ? entry->text : std::string();
}

}  // namespace mdk
