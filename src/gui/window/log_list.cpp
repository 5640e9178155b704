#include "gui/window/log_list.h"

#include <QThread>

#include "base/visible_text.h"

namespace mdk {

LogList::LogList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
}

void LogList::appendLine(const std::string& text) {
    queue({false, text});
}

void LogList::replaceLastLine(const std::string& text) {
    queue({true, text});
}

void LogList::queue(Change change) {
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        // Replacing the line queued last gives the same list as applying both in turn:
        // the queued change keeps its kind and takes the new text.
        if (change.replace && !pending_.empty()) {
            pending_.back().text = std::move(change.text);
        } else {
            pending_.push_back(std::move(change));
        }
        if (!flushPosted_ && QThread::currentThread() != thread()) {
            flushPosted_ = true;
            post = true;
        }
    }
    if (post) {
        QMetaObject::invokeMethod(this, &LogList::flush, Qt::QueuedConnection);
    } else if (QThread::currentThread() == thread()) {
        flush();
    }
}

void LogList::flush() {
    std::deque<Change> changes;
    {
        std::lock_guard lock(mutex_);
        changes.swap(pending_);
        flushPosted_ = false;
    }
    for (const Change& change : changes) {
        if (change.replace && currentRow() >= 0) delete takeItem(currentRow());
        addItem(QString::fromStdString(visibleText(change.text)));
        setCurrentRow(count() - 1);
    }
    if (!changes.empty()) scrollToBottom();
}

QStringList LogList::lines() const {
    QStringList out;
    for (int i = 0; i < count(); ++i) out << item(i)->text();
    return out;
}

}  // namespace mdk
