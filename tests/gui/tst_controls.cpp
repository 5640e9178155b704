// The hyperlink control, the picture loader and the animated GIF control.
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>

#include "base/prompter.h"
#include "gui/controls/ani_gif.h"
#include "gui/controls/hyperlink.h"
#include "gui/controls/pictures.h"

using namespace mdk;

namespace {

// A GIF of one palette: a w x h screen and frames of solid colour index 1 (red) on
// index 0 (blue), with graphic control extensions. Pixel data is written uncompressed
// (a clear code before every few pixels keeps the code width at 3 bits).
class GifFile {
public:
    GifFile(uint16_t width, uint16_t height, const char* signature = "GIF89a") {
        bytes.append(signature, 6);
        le16(width);
        le16(height);
        bytes.append(char(0xF1));  // global table of 4 entries
        bytes.append(char(0));
        bytes.append(char(0));
        const uint8_t table[] = {0, 0, 255, 255, 0, 0, 0, 255, 0, 0, 0, 0};
        bytes.append(reinterpret_cast<const char*>(table), sizeof table);
    }
    GifFile& frame(uint16_t left, uint16_t top, uint16_t width, uint16_t height, uint16_t delay,
                   uint8_t colour = 1, bool transparentZero = false, uint8_t disposal = 0) {
        const uint8_t gce[] = {0x21,
                               0xF9,
                               0x04,
                               uint8_t(disposal << 2 | (transparentZero ? 1 : 0)),
                               uint8_t(delay & 0xFF),
                               uint8_t(delay >> 8),
                               0,
                               0};
        bytes.append(reinterpret_cast<const char*>(gce), sizeof gce);
        bytes.append(char(0x2C));
        le16(left);
        le16(top);
        le16(width);
        le16(height);
        bytes.append(char(0));
        bytes.append(char(2));  // LZW minimum code size
        appendPixels(std::vector<uint8_t>(size_t(width) * height, colour));
        return *this;
    }
    QByteArray finished() const { return bytes + char(0x3B); }

private:
    void le16(uint16_t v) {
        bytes.append(char(v & 0xFF));
        bytes.append(char(v >> 8));
    }
    void appendPixels(const std::vector<uint8_t>& pixels) {
        std::vector<int> codes;
        for (size_t i = 0; i < pixels.size(); ++i) {
            if (i % 2 == 0) codes.push_back(4);  // clear
            codes.push_back(pixels[i]);
        }
        codes.push_back(5);  // end of information
        QByteArray data;
        uint32_t bits = 0;
        int count = 0;
        for (int code : codes) {
            bits |= uint32_t(code) << count;
            count += 3;
            while (count >= 8) {
                data.append(char(bits & 0xFF));
                bits >>= 8;
                count -= 8;
            }
        }
        if (count) data.append(char(bits & 0xFF));
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            bytes.append(char(block.size()));
            bytes.append(block);
        }
        bytes.append(char(0));
    }
    QByteArray bytes;
};

QColor pixelAt(AniGif& control, const QPoint& point) {
    return control.grab().toImage().pixelColor(point);
}

}  // namespace

class ControlsTest : public QObject {
    Q_OBJECT
private slots:
    void hyperlinkStartsBlackWebAndNotUnderlined();
    void hyperlinkMailTargets_data();
    void hyperlinkMailTargets();
    void hyperlinkCutsSubjectAndBodyAndReturnsPreviousValues();
    void hyperlinkSizesToTextAndFont();
    void hyperlinkHoverAndClick();
    void picturesAreLoadedFromTheEmbeddedJpegs();
    void gifFramesDelaysAndTimer();
    void gifSingleFrameStartsNoTimer();
    void gifZoomAndCentring();
    void gifSignaturesAndDamagedFiles_data();
    void gifSignaturesAndDamagedFiles();
    void gifFileThatCannotBeRead();
    void gifDrawsFramesTransparencyAndDisposal();
    void gifWindowTextLoadsTheSplashResource();
    void gifClearLinkTextAndMouseNotifications();
};

void ControlsTest::hyperlinkStartsBlackWebAndNotUnderlined() {
    HyperLink link("https://example.org/");
    QCOMPARE(link.kind(), HyperLink::Kind::Web);
    QCOMPARE(link.currentColour(), QColor(Qt::black));
    QVERIFY(!link.underline());
    QCOMPARE(link.target(), QString("https://example.org/"));
}

void ControlsTest::hyperlinkMailTargets_data() {
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("target");
    QTest::newRow("subject only") << "Hi"
                                  << ""
                                  << "mailto:me@example.org?subject=Hi";
    QTest::newRow("body without subject is left out") << ""
                                                      << "text"
                                                      << "mailto:me@example.org";
    QTest::newRow("neither") << ""
                             << ""
                             << "mailto:me@example.org";
    QTest::newRow("subject and body") << "A b"
                                      << "c"
                                      << "mailto:me@example.org?subject=A%20b&body=c";
    QTest::newRow("& and # cannot cut the target short")
        << "Tom & Jerry #1"
        << "a=b&c?d"
        << "mailto:me@example.org?subject=Tom%20%26%20Jerry%20%231&body=a%3Db%26c%3Fd";
}

void ControlsTest::hyperlinkMailTargets() {
    QFETCH(QString, subject);
    QFETCH(QString, body);
    QFETCH(QString, target);
    HyperLink link("me@example.org");
    QCOMPARE(link.setKind(HyperLink::Kind::Mail), HyperLink::Kind::Web);
    link.setSubject(subject);
    link.setBody(body);
    QCOMPARE(link.target(), target);
}

void ControlsTest::hyperlinkCutsSubjectAndBodyAndReturnsPreviousValues() {
    HyperLink link("me@example.org");
    const QString longText(2000, QChar('s'));
    QCOMPARE(link.setSubject(longText), QString());
    QCOMPARE(link.subject(), QString(1023, QChar('s')));
    QCOMPARE(link.setSubject("next"), QString(1023, QChar('s')));
    link.setBody(longText);
    QCOMPARE(link.body().size(), 1023);
    QCOMPARE(link.setUnderline(true), false);
    QCOMPARE(link.setUnderline(false), true);
    // A mail address is cut to 239 characters in the target.
    link.setKind(HyperLink::Kind::Mail);
    link.setText(QString(300, QChar('a')));
    link.setSubject({});
    QCOMPARE(link.target(), "mailto:" + QString(239, QChar('a')));
}

void ControlsTest::hyperlinkSizesToTextAndFont() {
    QWidget parent;
    HyperLink link("https://marrowdeck.example.org/", &parent);
    link.move(10, 20);
    const QSize small = link.size();
    QCOMPARE(small, link.fontMetrics().size(Qt::TextSingleLine, link.text()));
    QFont big = link.font();
    big.setPixelSize(40);
    link.setFont(big);
    QVERIFY(link.width() > small.width());
    QVERIFY(link.height() > small.height());
    QCOMPARE(link.size(), QFontMetrics(big).size(Qt::TextSingleLine, link.text()));
    QCOMPARE(link.pos(), QPoint(10, 20));  // resized, not moved
    link.setText("x");
    QVERIFY(link.width() < small.width());
}

void ControlsTest::hyperlinkHoverAndClick() {
    HyperLink link("https://example.org/a#b");
    link.setHoverColour(QColor(255, 0, 0));
    link.setNormalColour(QColor(0, 0, 255));
    link.setUnderline(true);
    QCOMPARE(link.currentColour(), QColor(0, 0, 255));
    QStringList opened;
    link.setOpener([&](const QString& target) { opened << target; });
    int hovers = 0;
    connect(&link, &HyperLink::hovered, [&](HyperLink* l) {
        QCOMPARE(l, &link);
        ++hovers;
    });
    link.show();
    QVERIFY(QTest::qWaitForWindowExposed(&link));
    QTest::mouseMove(&link, QPoint(2, 2));
    QTest::mouseMove(&link, QPoint(3, 3));
    QCOMPARE(link.currentColour(), QColor(255, 0, 0));
    QCOMPARE(hovers, 1);  // once per entry
    // The underline: the bottom row in the current colour across the whole width.
    const QImage shot = link.grab().toImage();
    QCOMPARE(shot.pixelColor(0, shot.height() - 1), QColor(255, 0, 0));
    QCOMPARE(shot.pixelColor(shot.width() - 1, shot.height() - 1), QColor(255, 0, 0));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&link, &leave);
    QCOMPARE(link.currentColour(), QColor(0, 0, 255));
    QTest::mouseClick(&link, Qt::RightButton);
    QVERIFY(opened.isEmpty());
    QTest::mouseClick(&link, Qt::LeftButton);
    QCOMPARE(opened, QStringList{"https://example.org/a#b"});
}

void ControlsTest::picturesAreLoadedFromTheEmbeddedJpegs() {
    for (int id : {501, 502, 503}) {
        const QPixmap loaded = loadPicture(id);
        QVERIFY2(!loaded.isNull(), qPrintable(QString::number(id)));
        QCOMPARE(picture(id).size(), loaded.size());
    }
    QCOMPARE(loadPicture(501).size(), QSize(160, 149));
    QVERIFY(loadPicture(504).isNull());
    QVERIFY(!picture(4000).isNull());  // the PNG pictures still come from picture()
}

void ControlsTest::gifFramesDelaysAndTimer() {
    ScriptedPrompter prompter;
    AniGif control(prompter, 0);
    const QByteArray gif =
        GifFile(4, 4).frame(0, 0, 4, 4, 0).frame(0, 0, 4, 4, 25).frame(0, 0, 4, 4, 3).finished();
    QVERIFY(control.loadData(gif));
    QCOMPARE(control.frameCount(), 3);
    QCOMPARE(control.canvasSize(), QSize(4, 4));
    QVERIFY(control.animating());
    QCOMPARE(control.timerInterval(), 0);  // the first tick comes at once
    const std::pair<int, int> ticks[] = {{1, 100}, {2, 250}, {3, 30}, {1, 100}, {2, 250}};
    for (const auto& [index, interval] : ticks) {
        control.tick();
        QCOMPARE(control.currentIndex(), index);
        QCOMPARE(control.shownFrame(), index - 1);
        QCOMPARE(control.timerInterval(), interval);
    }
    control.stop();
    QVERIFY(!control.animating());
    control.start();
    QVERIFY(control.animating());
    QVERIFY(prompter.shown().empty());
}

void ControlsTest::gifSingleFrameStartsNoTimer() {
    ScriptedPrompter prompter;
    AniGif control(prompter, 0);
    QVERIFY(control.loadData(GifFile(4, 4).frame(0, 0, 4, 4, 25).finished()));
    control.tick();
    QVERIFY(!control.animating());
    QCOMPARE(control.currentIndex(), 0);
    QCOMPARE(control.shownFrame(), 0);
}

void ControlsTest::gifZoomAndCentring() {
    ScriptedPrompter prompter;
    AniGif plain(prompter, AniGif::kResizeToCanvas);
    QVERIFY(plain.loadData(GifFile(160, 149).frame(0, 0, 2, 2, 0).finished()));
    QCOMPARE(plain.size(), QSize(160, 149));  // style 0x1
    plain.zoom(true);
    plain.zoom(true);
    QCOMPARE(plain.destination(), QRect(0, 0, 192, 178));
    plain.zoom(false);
    plain.zoom(false);
    plain.zoom(false);
    QCOMPARE(plain.zoomSteps(), 0);
    QCOMPARE(plain.destination(), QRect(0, 0, 160, 149));

    AniGif centred(prompter, AniGif::kCentre);
    centred.resize(200, 100);
    QVERIFY(centred.loadData(GifFile(160, 149).frame(0, 0, 2, 2, 0).finished()));
    QCOMPARE(centred.size(), QSize(200, 100));
    QCOMPARE(centred.destination(), QRect(20, -24, 160, 149));  // -49 / 2 toward zero
    centred.show();
    QVERIFY(QTest::qWaitForWindowExposed(&centred));
    centred.resize(161, 149);  // laid out again on resize
    QTRY_COMPARE(centred.destination().topLeft(), QPoint(0, 0));
}

void ControlsTest::gifSignaturesAndDamagedFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QByteArray good = GifFile(4, 4).frame(0, 0, 4, 4, 0).finished();
    QTest::newRow("GIF87a") << GifFile(4, 4, "GIF87a").frame(0, 0, 4, 4, 0).finished() << "";
    QTest::newRow("GIF88a") << GifFile(4, 4, "GIF88a").frame(0, 0, 4, 4, 0).finished()
                            << "This file has not a valid Gif signature.";
    QTest::newRow("cut inside the image") << good.left(good.size() - 4) << "Fatal error.";
    QTest::newRow("65535 x 65535 screen")
        << GifFile(65535, 65535).frame(0, 0, 4, 4, 0).finished() << "Fatal error.";
}

void ControlsTest::gifSignaturesAndDamagedFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    ScriptedPrompter prompter;
    AniGif control(prompter, 0);
    QVERIFY(control.loadData(GifFile(4, 4).frame(0, 0, 4, 4, 0).finished()));
    const bool loaded = control.loadData(bytes);
    QCOMPARE(loaded, message.isEmpty());
    if (message.isEmpty()) {
        QVERIFY(prompter.shown().empty());
        QCOMPARE(control.frameCount(), 1);
        return;
    }
    QCOMPARE(prompter.shown().size(), size_t(1));
    QCOMPARE(QString::fromStdString(prompter.shown()[0].title), QString("AniGIF"));
    QCOMPARE(QString::fromStdString(prompter.shown()[0].text), message);
    QCOMPARE(control.frameCount(), 0);  // cleared before loading
    QVERIFY(!control.animating());
}

void ControlsTest::gifFileThatCannotBeRead() {
    ScriptedPrompter prompter;
    AniGif control(prompter, 0);
    QVERIFY(!control.loadFile("/no/such/file.gif"));
    QCOMPARE(prompter.shown().size(), size_t(1));
    QCOMPARE(QString::fromStdString(prompter.shown()[0].text), QString("Error loading file."));
    QTemporaryDir dir;
    const QString path = dir.filePath("two.gif");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(GifFile(4, 4).frame(0, 0, 4, 4, 0).frame(0, 0, 4, 4, 0).finished());
    file.close();
    QVERIFY(control.loadFile(path));
    QCOMPARE(control.frameCount(), 2);
}

void ControlsTest::gifDrawsFramesTransparencyAndDisposal() {
    ScriptedPrompter prompter;
    AniGif control(prompter, AniGif::kResizeToCanvas);
    control.setBackground(QColor(10, 20, 30));
    // Frame 1: all red. Frame 2: a 2 x 2 green square at (1, 1), disposal 2. Frame 3: a
    // transparent (index 0) 4 x 4 frame over what the canvas holds.
    const QByteArray gif = GifFile(4, 4)
                               .frame(0, 0, 4, 4, 0, 1)
                               .frame(1, 1, 2, 2, 0, 2, false, 2)
                               .frame(0, 0, 4, 4, 0, 0, true)
                               .finished();
    QVERIFY(control.loadData(gif));
    const QImage second = control.frameImage(1);
    QCOMPARE(second.size(), QSize(2, 2));
    QCOMPARE(second.pixelColor(0, 0), QColor(0, 255, 0));
    control.tick();
    QCOMPARE(pixelAt(control, QPoint(0, 0)), QColor(255, 0, 0));
    control.tick();
    // Each paint draws the frame and then applies its disposal: one paint per tick here.
    const QImage shot = control.grab().toImage();
    QCOMPARE(shot.pixelColor(0, 0), QColor(255, 0, 0));  // frame 1 still shows
    QCOMPARE(shot.pixelColor(1, 1), QColor(0, 255, 0));
    control.tick();
    // After disposal 2 the canvas is the background; frame 3 is all transparent.
    QCOMPARE(pixelAt(control, QPoint(0, 0)), QColor(10, 20, 30));
    QCOMPARE(pixelAt(control, QPoint(2, 2)), QColor(10, 20, 30));
}

void ControlsTest::gifWindowTextLoadsTheSplashResource() {
    ScriptedPrompter prompter;
    AniGif splash(prompter, AniGif::kCentre, "#555");
    QVERIFY(splash.frameCount() > 1);
    QCOMPARE(splash.canvasSize(), QSize(240, 160));
    QVERIFY(splash.animating());
    QVERIFY(!splash.frameImage(0).isNull());
    AniGif none(prompter, 0, "#0");
    QCOMPARE(none.frameCount(), 0);
    AniGif missing(prompter, 0, "#-7");
    QCOMPARE(missing.frameCount(), 0);
    AniGif text(prompter, 0, "555");
    QCOMPARE(text.frameCount(), 0);
    QVERIFY(prompter.shown().empty());
}

void ControlsTest::gifClearLinkTextAndMouseNotifications() {
    ScriptedPrompter prompter;
    AniGif plain(prompter, 0);
    plain.setLinkText("https://example.org/");
    QCOMPARE(plain.linkText(), QString());  // link mode only
    AniGif link(prompter, AniGif::kLinkMode | AniGif::kResizeToCanvas);
    link.setLinkText(QString(300, QChar('l')));
    QCOMPARE(link.linkText().size(), 259);
    QVERIFY(link.loadData(GifFile(8, 8).frame(0, 0, 8, 8, 0).frame(0, 0, 8, 8, 0).finished()));
    QList<QPoint> pressed;
    QList<QPoint> released;
    connect(&link, &AniGif::pressed, [&](AniGif*, const QPoint& p) { pressed << p; });
    connect(&link, &AniGif::released, [&](AniGif*, const QPoint& p) { released << p; });
    QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(3, 3));
    QVERIFY(released.isEmpty());  // no press came first
    QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(2, 5));
    QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(4, 6));
    QCOMPARE(pressed, QList<QPoint>{QPoint(2, 5)});
    QCOMPARE(released, QList<QPoint>{QPoint(4, 6)});
    link.clear();
    QCOMPARE(link.frameCount(), 0);
    QVERIFY(!link.animating());
    QCOMPARE(link.destination(), QRect());
}

QTEST_MAIN(ControlsTest)
#include "tst_controls.moc"
