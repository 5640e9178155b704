#pragma once
#include <QStringList>
#include <QWidget>
#include <vector>

namespace mdk {

// A status bar of parts: each part's right edge is given in pixels; the last part
// reaches to the bar's right edge.
class PartStatusBar final : public QWidget {
    Q_OBJECT
public:
    explicit PartStatusBar(QWidget* parent = nullptr);

    void setPartEdges(std::vector<int> rightEdges);
    int partCount() const { return static_cast<int>(edges_.size()) + 1; }
    // Sets a part's text and repaints the bar; parts out of range are ignored.
    void setPartText(int part, const QString& text);
    QString partText(int part) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<int> edges_;
    QStringList texts_;
};

}  // namespace mdk
