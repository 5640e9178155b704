// Window layout, the right pane's minimum, the splitter and the event-log hover.
#include <unistd.h>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>

#include "app/window_layout.h"
#include "gui/controls/picture_button.h"
#include "gui_fixture.h"

using namespace mdk;
using namespace mdk::test;

namespace {

QRect qrect(const Rect& r) {
    return QRect(r.left, r.top, r.width(), r.height());
}

void sendMouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

}  // namespace

class LayoutTest : public QObject {
    Q_OBJECT
private slots:
    void layoutTablePlacesTheControls();
    void firstColumnWidthFollowsTheSplit_data();
    void firstColumnWidthFollowsTheSplit();
    void windowAppliesTheLayoutOnResize();
    void buttonCaptionsFitTheirButtons();
    void rightPaneKeepsItsMinimumWidth();
    void splitterFollowsThePointerWithin210Pixels_data();
    void splitterFollowsThePointerWithin210Pixels();
    void splitMovesListsFieldsComboAndButton();
    void splitterDragEndsWithTheRightPanesOwnFolder();
    void eventLogGrowsWhileThePointerIsOverIt();
    void defaultWidthIsTheSmallestThatShowsEverything();
    void firstWindowShowsEveryButtonAndColumn();
};

void LayoutTest::layoutTablePlacesTheControls() {
    const MainLayout layout = layoutMainWindow(624, 446, false, false);  // W 616, H 305, M 308
    const std::pair<int, Rect> expected[] = {
        {1002, {2, 48, 308, 305}},    {1003, {310, 48, 614, 305}},  {1016, {2, 26, 308, 46}},
        {1015, {310, 26, 614, 46}},   {1006, {310, 2, 465, 24}},    {1013, {466, 2, 551, 24}},
        {1001, {2, 307, 308, 367}},   {1007, {311, 307, 412, 337}}, {1026, {413, 307, 513, 337}},
        {1008, {514, 307, 614, 337}}, {1010, {615, 307, 715, 337}}, {1004, {311, 337, 412, 367}},
        {1027, {413, 337, 513, 367}}, {1009, {514, 337, 614, 367}}, {1011, {615, 337, 715, 367}},
        {1014, {311, 373, 614, 390}},
    };
    for (const auto& [id, rect] : expected) {
        QCOMPARE(qrect(layout.rects.at(id)), qrect(rect));
    }
    QCOMPARE(layout.rects.at(1025).bottom, 305 + 88);
    QCOMPARE(layout.hover.listBottom, 305);
    QCOMPARE(layout.hover.listBottomShort, 105);
    QCOMPARE(layout.hover.logTop, 307);
    QCOMPARE(layout.hover.logTopRaised, 107);
}

void LayoutTest::firstColumnWidthFollowsTheSplit_data() {
    QTest::addColumn<int>("windowWidth");
    QTest::addColumn<bool>("rightSeems");
    QTest::addColumn<int>("left");  // -1: unchanged
    QTest::addColumn<int>("right");
    QTest::newRow("M 308") << 624 << false << 132 << 132;
    QTest::newRow("M 342") << 692 << false << 132 << 132;
    QTest::newRow("M 343") << 694 << false << -1 << -1;
    QTest::newRow("M 344") << 696 << false << -1 << -1;
    QTest::newRow("M 345") << 698 << false << 133 << 133;
    QTest::newRow("M 496") << 1000 << false << 284 << 284;
    QTest::newRow("M 496, seems right") << 1000 << true << 284 << 132;
}

void LayoutTest::firstColumnWidthFollowsTheSplit() {
    QFETCH(int, windowWidth);
    QFETCH(bool, rightSeems);
    QFETCH(int, left);
    QFETCH(int, right);
    const MainLayout layout = layoutMainWindow(windowWidth, 600, false, rightSeems);
    QCOMPARE(layout.leftColumn0.value_or(-1), left);
    QCOMPARE(layout.rightColumn0.value_or(-1), right);
    const int m = (windowWidth - 8) / 2;
    QCOMPARE(layout.rememberedColumn0.value_or(-1), m > 344 ? m - 212 : -1);
}

void LayoutTest::windowAppliesTheLayoutOnResize() {
    GuiFixture f;
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* client = w.centralWidget();
    w.resize(1000, 700);
    QTest::qWait(0);
    const int windowWidth = client->width() + kFrameWidth;
    const int windowHeight = client->height() + kNonClientHeight;
    const MainLayout layout = layoutMainWindow(windowWidth, windowHeight, false, false);
    for (int id : {1001, 1002, 1003, 1007, 1011, 1014, 1015}) {
        QCOMPARE(w.control(id)->geometry(), qrect(layout.rects.at(id)));
    }
    const int m = (windowWidth - 8) / 2;
    QCOMPARE(f.list(Side::Left)->header()->sectionSize(0), m - 212);
    QCOMPARE(w.rememberedColumn0(), m - 212);
    w.resize(600, 500);
    QTest::qWait(0);
    QCOMPARE(f.list(Side::Right)->header()->sectionSize(0), 132);
}

void LayoutTest::buttonCaptionsFitTheirButtons() {
    GuiFixture f;
    // The captions of the shipped message file.
    const QString shipped = qEnvironmentVariable("MDK_SOURCE_DIR") + "/resources/Messages.lng";
    QFile::remove(QString::fromStdString(f.programFolder + "/Messages.lng"));
    QVERIFY(QFile::copy(shipped, QString::fromStdString(f.programFolder + "/Messages.lng")));
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (int id : {ids::kView, ids::kEdit, ids::kAttributes, ids::kRestart, ids::kSeemFunc,
                   ids::kCopy, ids::kNewFolder, ids::kDelete, ids::kLeftReread}) {
        auto* button = static_cast<QPushButton*>(w.control(id));
        QVERIFY2(captionWidth(*button, button->font()) <= button->width(),
                 qPrintable(button->text()));
    }
    auto* seemFunc = static_cast<QPushButton*>(w.control(ids::kSeemFunc));
    QCOMPARE(seemFunc->text(), QString("F6 SeemFunc"));
}

void LayoutTest::rightPaneKeepsItsMinimumWidth() {
    Placements p = layoutMainWindow(1000, 600, false, false).rects;
    QVERIFY(!keepRightPaneWidth(1000, p));  // 1000 - 494 leaves enough
    p[1002].right = 800;                    // a split dragged far right, then a narrower window
    Placements before = p;
    QVERIFY(keepRightPaneWidth(900, p));
    QCOMPARE(p[1002].right, 675);
    QCOMPARE(p[1016].right, 675);
    QCOMPARE(p[1003].left, 679);
    QCOMPARE(p[1015].left, 679);
    QCOMPARE(p[1006].left, 679);
    QCOMPARE(p[1006].right, 813);
    QCOMPARE(p[1013].left, 814);
    QCOMPARE(p[1013].right, 889);
    QCOMPARE(p[1001], before[1001]);
}

void LayoutTest::splitterFollowsThePointerWithin210Pixels_data() {
    QTest::addColumn<bool>("captured");
    QTest::addColumn<bool>("leftOnly");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("action");
    QTest::newRow("over the gap") << false << false << 401 << 100 << int(SplitterAction::Capture);
    QTest::newRow("gap below lists") << false << false << 401 << 600 << int(SplitterAction::None);
    QTest::newRow("elsewhere, free") << false << true << 300 << 100 << int(SplitterAction::None);
    QTest::newRow("other keys") << true << false << 300 << 100 << int(SplitterAction::Release);
    QTest::newRow("drag") << true << true << 300 << 100 << int(SplitterAction::Move);
    QTest::newRow("at 210") << true << true << 210 << 100 << int(SplitterAction::ReleaseRelist);
    QTest::newRow("at 211") << true << true << 211 << 100 << int(SplitterAction::Move);
    QTest::newRow("210 from right")
        << true << true << 790 << 100 << int(SplitterAction::ReleaseRelist);
    QTest::newRow("211 from right") << true << true << 789 << 100 << int(SplitterAction::Move);
}

void LayoutTest::splitterFollowsThePointerWithin210Pixels() {
    QFETCH(bool, captured);
    QFETCH(bool, leftOnly);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, action);
    const Rect left{2, 48, 400, 500};
    const Rect right{403, 48, 1000, 500};
    QCOMPARE(int(splitterMouseMove(captured, leftOnly, x, y, left, right)), action);
}

void LayoutTest::splitMovesListsFieldsComboAndButton() {
    const Placements current = layoutMainWindow(1000, 600, false, false).rects;
    const SplitLayout split = splitAt(600, current);
    QCOMPARE(split.rects.at(1002).right, 600);
    QCOMPARE(split.rects.at(1016).right, 600);
    QCOMPARE(split.rects.at(1003).left, 604);
    QCOMPARE(split.rects.at(1015).left, 604);
    QCOMPARE(split.rects.at(1006).left, 604);
    QCOMPARE(split.rects.at(1006).right, 738);
    QCOMPARE(split.rects.at(1013).left, 739);
    QCOMPARE(split.rects.at(1013).right, 814);
    QCOMPARE(split.leftColumn0.value_or(-1), 598 - 188);    // left list 2..600
    QCOMPARE(split.rightColumn0.value_or(-1), 386 - 188);   // right list 604..990
    const SplitLayout narrowRight = splitAt(700, current);  // right list 286 wide
    QVERIFY(!narrowRight.rightColumn0);
    QCOMPARE(narrowRight.leftColumn0.value_or(-1), 698 - 188);
}

void LayoutTest::splitterDragEndsWithTheRightPanesOwnFolder() {
    GuiFixture f;
    f.config.rightPath = f.other;
    f.config.rightSource = 7;
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(1000, 700);
    QTest::qWait(0);
    QWidget* client = w.centralWidget();
    const QRect leftList = w.control(1002)->geometry();
    const QPoint gap(leftList.right() + 2, leftList.top() + 20);
    sendMouse(client, QEvent::MouseMove, gap, Qt::NoButton, Qt::NoButton);
    QCOMPARE(QWidget::mouseGrabber(), client);
    sendMouse(client, QEvent::MouseMove, QPoint(600, gap.y()), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(w.control(1002)->geometry().right() + 1, 600);
    QCOMPARE(w.control(1003)->geometry().left(), 604);
    // The process's current folder is elsewhere; the right pane lists its own folder.
    QVERIFY(::chdir(f.home.c_str()) == 0);
    GuiFixture::touch(f.other + "/new-in-right.txt");
    GuiFixture::touch(f.home + "/new-in-home.txt");
    sendMouse(client, QEvent::MouseButtonRelease, QPoint(600, gap.y()), Qt::LeftButton,
              Qt::NoButton);
    QVERIFY(QWidget::mouseGrabber() != client);
    QVERIFY(f.names(Side::Right).contains("new-in-right.txt"));
    QVERIFY(!f.names(Side::Right).contains("new-in-home.txt"));
    QCOMPARE(f.context->panes.pcPath(Side::Right), f.other);
}

void LayoutTest::eventLogGrowsWhileThePointerIsOverIt() {
    GuiFixture f;
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect log = w.control(1001)->geometry();
    const QRect list = w.control(1002)->geometry();
    auto* logView = static_cast<QAbstractScrollArea*>(w.control(1001))->viewport();
    sendMouse(logView, QEvent::MouseMove, QPoint(5, 5), Qt::NoButton, Qt::NoButton);
    QCOMPARE(w.control(1001)->geometry().top(), log.top() - 200);
    QCOMPARE(w.control(1002)->geometry().bottom(), list.bottom() - 200);
    sendMouse(f.list(Side::Left)->viewport(), QEvent::MouseMove, QPoint(5, 5), Qt::NoButton,
              Qt::NoButton);
    QCOMPARE(w.control(1001)->geometry(), log);
    QCOMPARE(w.control(1002)->geometry(), list);
}

QTEST_MAIN(LayoutTest)
void LayoutTest::defaultWidthIsTheSmallestThatShowsEverything() {
    const int buttons[] = {ids::kView,     ids::kEdit, ids::kAttributes, ids::kRestart,
                           ids::kSeemFunc, ids::kCopy, ids::kNewFolder,  ids::kDelete};
    auto shows = [&](int width, int chrome) {
        const MainLayout layout = layoutMainWindow(width, kTemplateWindowHeight, false, false);
        for (int id : buttons) {
            if (layout.rects.at(id).right > width - kFrameWidth) return false;
        }
        const int columns =
            layout.leftColumn0.value_or(kNameColumnWidth) + kSizeColumnWidth + kDateColumnWidth;
        for (int id : {ids::kLeftList, ids::kRightList}) {
            if (layout.rects.at(id).width() < columns + chrome) return false;
        }
        return true;
    };
    for (int chrome : {0, 2, 16, 18, 21}) {
        const int width = defaultWindowWidth(chrome);
        QVERIFY2(width > kTemplateWindowWidth, qPrintable(QString::number(chrome)));
        QVERIFY(shows(width, chrome));
        QVERIFY(!shows(width - 1, chrome));
    }
    // Columns that fit at no width: the buttons at least are shown.
    const int width = defaultWindowWidth(60);
    QVERIFY(!shows(width - 1, 0));
    QCOMPARE(defaultWindowWidth(60), defaultWindowWidth(0));
}

// A window started without a configuration file, on a full home folder (the lists show
// their vertical scroll bars), after the start-up picture's timer.
static MainWindow& firstWindow(GuiFixture& f) {
    for (int i = 0; i < 80; ++i) {
        GuiFixture::touch(f.home + "/file" + std::to_string(i) + ".txt", std::string(100, 'x'));
    }
    f.context = std::make_unique<AppContext>(f.programFolder, f.clock);
    f.context->prompter.setTarget(&f.prompter);
    f.window = std::make_unique<MainWindow>(*f.context, f.services());
    MainWindow& w = *f.window;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) qWarning("window not exposed");
    w.onTimer(ids::kTimerSplash);
    QTest::qWait(0);
    return w;
}

void LayoutTest::firstWindowShowsEveryButtonAndColumn() {
    GuiFixture f;
    MainWindow& w = firstWindow(f);
    const QRect available = w.screen()->availableGeometry();
    QVERIFY(w.frameGeometry().width() <= available.width());
    QVERIFY(w.frameGeometry().height() <= available.height());
    const int wanted = w.defaultWindowSize().width();
    if (available.width() < defaultWindowWidth(0)) {
        // A screen too narrow for the window: it takes the whole available width.
        QCOMPARE(wanted, available.width());
        return;
    }
    QVERIFY(wanted > kTemplateWindowWidth);
    QWidget* client = w.control(ids::kLeftList)->parentWidget();
    for (int id : {ids::kView, ids::kEdit, ids::kAttributes, ids::kRestart, ids::kSeemFunc,
                   ids::kCopy, ids::kNewFolder, ids::kDelete}) {
        auto* button = static_cast<QPushButton*>(w.control(id));
        QVERIFY2(button->isVisible(), qPrintable(button->text()));
        QVERIFY2(client->rect().contains(button->geometry()),
                 qPrintable(QString("%1 at %2,%3 %4x%5 in %6x%7")
                                .arg(button->text())
                                .arg(button->x())
                                .arg(button->y())
                                .arg(button->width())
                                .arg(button->height())
                                .arg(client->width())
                                .arg(client->height())));
        QCOMPARE(button->visibleRegion(), QRegion(button->rect()));
        QVERIFY2(captionWidth(*button, button->font()) <= button->width(),
                 qPrintable(button->text()));
    }
    for (Side side : {Side::Left, Side::Right}) {
        PaneList* list = f.list(side);
        QVERIFY(client->rect().contains(list->geometry()));
        QVERIFY(list->verticalScrollBar()->isVisible());
        QHeaderView* header = list->header();
        for (int column = 0; column < 3; ++column) {
            const int left = header->sectionViewportPosition(column);
            const int right = left + header->sectionSize(column);
            QVERIFY2(left >= 0 && right <= header->viewport()->width(),
                     qPrintable(QString("side %1 column %2: %3..%4 of %5")
                                    .arg(int(side))
                                    .arg(column)
                                    .arg(left)
                                    .arg(right)
                                    .arg(header->viewport()->width())));
        }
        QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
    }
}

#include "tst_layout.moc"
