#pragma once
#include <QColor>
#include <QString>
#include <QWidget>
#include <functional>

namespace mdk {

// A one-line clickable link ("UDC_HyperLink"): sized to its text and font, drawn in the
// normal colour and in the hover colour while the mouse is over it, optionally
// underlined. A left click opens the text as a web address, or as an e-mail address with
// an optional subject and body. A fresh link is a black, not underlined web link.
class HyperLink final : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Web = 0, Mail = 1 };
    static constexpr int kMaxDrawnText = 255;
    static constexpr int kMaxMailAddress = 239;
    static constexpr int kMaxMailText = 1023;

    explicit HyperLink(const QString& text = {}, QWidget* parent = nullptr);

    // Each setter returns the previous value where the link's owner may want it back.
    Kind setKind(Kind kind);
    void setHoverColour(const QColor& colour);
    void setNormalColour(const QColor& colour);
    QString setSubject(const QString& subject);  // cut to 1023 characters
    QString setBody(const QString& body);        // cut to 1023 characters
    bool setUnderline(bool on);
    // Stores the text and resizes the link, without moving it, to the text's extent.
    void setText(const QString& text);

    QString text() const { return text_; }
    Kind kind() const { return kind_; }
    QString subject() const { return subject_; }
    QString body() const { return body_; }
    bool underline() const { return underline_; }
    QColor currentColour() const { return current_; }
    // What a click opens: the text, or "mailto:" with the subject and body, whose texts
    // are percent-encoded so that "&", "#" and "?" in them cannot cut the target short.
    QString target() const;
    // How a target is opened; the default hands it to xdg-open.
    void setOpener(std::function<void(const QString&)> opener) { opener_ = std::move(opener); }

    QSize sizeHint() const override;

signals:
    // The mouse entered the link; its colour is now the hover colour.
    void hovered(mdk::HyperLink* link);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QSize textExtent() const;
    bool mouseOver() const;

    QString text_;
    Kind kind_ = Kind::Web;
    QColor hover_ = Qt::black;
    QColor normal_ = Qt::black;
    QColor current_ = Qt::black;
    QString subject_;
    QString body_;
    bool underline_ = false;
    bool hoverShown_ = false;
    std::function<void(const QString&)> opener_;
};

}  // namespace mdk
