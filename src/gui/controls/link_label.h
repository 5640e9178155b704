#pragma once
#include <QColor>
#include <QLabel>

namespace mdk {

// A one-line clickable link: normal and hover colours, optional underline; a click opens
// the target (a web address, or "mailto:" with subject and body) with the desktop.
class LinkLabel final : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

    void setColours(const QColor& normal, const QColor& hover);
    void setUnderline(bool on);
    void setWebTarget(const QString& address);
    void setMailTarget(const QString& address, const QString& subject, const QString& body);
    QString target() const { return target_; }
    bool hovered() const { return hovered_; }
    // Off: a click only emits linkClicked (tests).
    void setOpenOnClick(bool on) { openOnClick_ = on; }

signals:
    void linkClicked(const QString& target);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void applyColour();

    QColor normal_ = Qt::blue;
    QColor hover_ = Qt::red;
    QString target_;
    bool hovered_ = false;
    bool openOnClick_ = true;
};

}  // namespace mdk
