#pragma once
#include <QStringList>
#include <QTreeView>

namespace mdk {

// The list view of a pane (controls 1002 and 1003): three columns, full-row selection,
// the background picture 502 tiled behind transparent item text, dropped and pasted files.
class PaneList final : public QTreeView {
    Q_OBJECT
public:
    explicit PaneList(QWidget* parent = nullptr);

    // Files of a drop, or of the clipboard on Ctrl+V, in the order the drop gave them.
    static QStringList localFiles(const QMimeData* data);

signals:
    // Any notification from the list (focus, click, key, activation, header click): the
    // pane becomes the active one.
    void notified();
    void filesDropped(const QStringList& files);
    void columnClicked(int column);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void placeBackground();
};

}  // namespace mdk
