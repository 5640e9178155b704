#pragma once
#include <QListWidget>
#include <deque>
#include <mutex>
#include <string>

#include "base/event_log.h"

namespace mdk {

// The event log list box (control 1001). Lines may come from any thread: they are queued
// and applied on the GUI thread in the order they came; no caller ever waits for it. A
// replacement of a line still queued takes that line's place in the queue, so a worker
// replacing its live line for every record costs the GUI thread one change per flush.
class LogList final : public QListWidget, public LogView {
    Q_OBJECT
public:
    explicit LogList(QWidget* parent = nullptr);

    void appendLine(const std::string& text) override;
    void replaceLastLine(const std::string& text) override;

    // All lines shown, oldest first.
    QStringList lines() const;

public slots:
    // Applies the queued changes (GUI thread).
    void flush();

private:
    struct Change {
        bool replace;
        std::string text;  // made visible and converted on the GUI thread
    };
    void queue(Change change);

    std::mutex mutex_;
    std::deque<Change> pending_;
    bool flushPosted_ = false;
};

}  // namespace mdk
