// Command dispatch: accelerators, menu items, buttons, availability tables, pane keys.
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

#include "app/dispatch_tables.h"
#include "gui_fixture.h"

using namespace mdk;
using namespace mdk::test;

namespace {

// Counts the key presses of one key that reach a widget.
class KeyCounter : public QObject {
public:
    explicit KeyCounter(int key) : key_(key) {}
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == key_) {
            ++count;
        }
        return false;
    }

private:
    int key_;
};

std::vector<int> spied(const QSignalSpy& spy) {
    std::vector<int> ids;
    for (const auto& call : spy) ids.push_back(call.at(0).toInt());
    return ids;
}

}  // namespace

class DispatchTest : public QObject {
    Q_OBJECT
private slots:
    void f5ReachesTheWindowOnlyAsCommand1027();
    void menuItemsThatRepeatAButtonBecomeItsId();
    void everyMenuItemAndKeyIsWired();
    void tabTwiceReturnsToTheFirstPane();
    void availabilityFollowsPaneAndLocation_data();
    void availabilityFollowsPaneAndLocation();
    void paneSwitchFlagHoldsTheTablesUntilARowIsActivated();
    void backspaceGoesUpOnlyBelowTheRoot();
    void numpadZeroMarksTheRowAndMovesTheFocus();
    void altRRereadsTheActivePane();
    void pathFieldShowsItsPaneAgainOnFocusLoss();
};

void DispatchTest::f5ReachesTheWindowOnlyAsCommand1027() {
    GuiFixture f;
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy spy(&w, &MainWindow::commandDispatched);
    KeyCounter counter(Qt::Key_F5);
    PaneList* list = f.list(Side::Left);
    list->installEventFilter(&counter);
    list->viewport()->installEventFilter(&counter);
    w.installEventFilter(&counter);
    QTest::keyClick(list, Qt::Key_F5);
    QCOMPARE(spied(spy), std::vector<int>{1027});
    QCOMPARE(counter.count, 0);
}

void DispatchTest::menuItemsThatRepeatAButtonBecomeItsId() {
    GuiFixture f;
    MainWindow& w = f.start();
    QSignalSpy spy(&w, &MainWindow::commandDispatched);
    const std::pair<int, int> repeats[] = {{10016, 1008}, {10009, 1007}, {10010, 1026},
                                           {10011, 1027}, {10012, 1004}, {10013, 1009},
                                           {10014, 1011}};
    std::vector<int> expected;
    for (auto [menu, button] : repeats) {
        w.setCommandHandler(button, [] {});
        w.menuAction(menu)->setEnabled(true);
        w.menuAction(menu)->trigger();
        expected.push_back(button);
    }
    QCOMPARE(spied(spy), expected);
}

void DispatchTest::everyMenuItemAndKeyIsWired() {
    GuiFixture f;
    MainWindow& w = f.start();
    std::vector<int> handled;
    std::vector<int> all;
    for (const MenuItem& item : commandPopupItems()) all.push_back(item.id);
    for (const MenuDefinition& menu : mainMenus()) {
        for (const MenuItem& item : menu.items) {
            if (item.id) all.push_back(item.id);
        }
    }
    // Every target id gets a recording handler; then each menu item is triggered.
    for (int id : all) {
        const int target = buttonForMenuItem(id).value_or(id);
        w.setCommandHandler(target, [&handled, target] { handled.push_back(target); });
    }
    for (int id : all) {
        QAction* action = w.menuAction(id);
        QVERIFY2(action, qPrintable(QString::number(id)));
        action->setEnabled(true);
        action->trigger();
        QCOMPARE(handled.back(), buttonForMenuItem(id).value_or(id));
    }
    // Buttons, hidden accelerator targets included, dispatch their own id.
    for (int id : {1004, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1017, 1018, 1019, 1020, 1021,
                   1022, 1026, 1027, 1028, 1029}) {
        w.setCommandHandler(id, [&handled, id] { handled.push_back(id); });
        auto* button = static_cast<QPushButton*>(w.control(id));
        button->setEnabled(true);
        button->click();
        QCOMPARE(handled.back(), id);
    }
}

void DispatchTest::tabTwiceReturnsToTheFirstPane() {
    GuiFixture f;
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    f.pane(Side::Left).focusRow(0);
    QVERIFY(f.list(Side::Left)->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(f.list(Side::Right)->hasFocus());
    QCOMPARE(f.context->panes.activePane.load(), 1);
    QVERIFY(f.pane(Side::Right).widgets().path->isEnabled());
    QVERIFY(!f.pane(Side::Left).widgets().path->isEnabled());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(f.list(Side::Left)->hasFocus());
    QCOMPARE(f.context->panes.activePane.load(), 0);
    QVERIFY(w.paneSwitchFlag());
}

void DispatchTest::availabilityFollowsPaneAndLocation_data() {
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("location");
    QTest::addColumn<QList<int>>("enabled");
    QTest::addColumn<QList<int>>("disabled");
    QTest::addColumn<QList<int>>("popupEnabled");
    QTest::addColumn<QList<int>>("popupGrey");
    QTest::newRow("left phone") << 0 << 0 << QList<int>{1008, 1007, 1009, 1011} << QList<int>{}
                                << QList<int>{0, 5, 6} << QList<int>{1};
    QTest::newRow("left seems") << 0 << 4 << QList<int>{} << QList<int>{1009, 1011} << QList<int>{}
                                << QList<int>{5, 6};
    QTest::newRow("left PC") << 0 << 6 << QList<int>{1007, 1009, 1026} << QList<int>{1008}
                             << QList<int>{1, 5, 6} << QList<int>{0};
    QTest::newRow("right phone") << 1 << 2 << QList<int>{1008, 1007} << QList<int>{1026}
                                 << QList<int>{0} << QList<int>{1, 2};
    QTest::newRow("right seems") << 1 << 4 << QList<int>{1007, 1026} << QList<int>{1008}
                                 << QList<int>{1, 2} << QList<int>{0};
    QTest::newRow("right PC") << 1 << 7 << QList<int>{1007, 1026} << QList<int>{1008}
                              << QList<int>{1, 2} << QList<int>{0};
}

void DispatchTest::availabilityFollowsPaneAndLocation() {
    QFETCH(int, side);
    QFETCH(int, location);
    QFETCH(QList<int>, enabled);
    QFETCH(QList<int>, disabled);
    QFETCH(QList<int>, popupEnabled);
    QFETCH(QList<int>, popupGrey);
    GuiFixture f;
    MainWindow& w = f.start();
    const Side pane = side == 0 ? Side::Left : Side::Right;
    // Start from the opposite of what the table sets, so every entry has to change.
    for (int id : enabled) w.control(id)->setEnabled(false);
    for (int id : disabled) w.control(id)->setEnabled(true);
    const auto items = w.commandPopup()->actions();
    for (int position : popupEnabled) items[position]->setEnabled(false);
    for (int position : popupGrey) items[position]->setEnabled(true);
    f.context->panes.setLocationIndex(pane, static_cast<uint32_t>(location));
    emit f.list(pane)->notified();
    for (int id : enabled) QVERIFY2(w.control(id)->isEnabled(), qPrintable(QString::number(id)));
    for (int id : disabled) QVERIFY2(!w.control(id)->isEnabled(), qPrintable(QString::number(id)));
    for (int position : popupEnabled) QVERIFY(items[position]->isEnabled());
    for (int position : popupGrey) QVERIFY(!items[position]->isEnabled());
    QCOMPARE(f.context->panes.activePane.load(), side);
    QVERIFY(f.pane(pane).widgets().path->isEnabled());
    QVERIFY(!f.pane(otherSide(pane)).widgets().path->isEnabled());
}

void DispatchTest::paneSwitchFlagHoldsTheTablesUntilARowIsActivated() {
    GuiFixture f;
    MainWindow& w = f.start();
    w.dispatchCommand(ids::kSwitchPaneKey);
    QVERIFY(w.paneSwitchFlag());
    w.control(1008)->setEnabled(true);
    emit f.list(Side::Left)->notified();  // a PC pane would disable Attributes
    QVERIFY(w.control(1008)->isEnabled());
    QCOMPARE(f.context->panes.activePane.load(), 0);
    QDir(QString::fromStdString(f.home)).mkdir("sub");
    f.pane(Side::Left).reread();
    const int row = f.names(Side::Left).indexOf("sub");
    f.pane(Side::Left).focusRow(row);
    emit f.list(Side::Left)->activated(f.list(Side::Left)->currentIndex());
    QVERIFY(!w.paneSwitchFlag());
    emit f.list(Side::Left)->notified();
    QVERIFY(!w.control(1008)->isEnabled());
}

void DispatchTest::backspaceGoesUpOnlyBelowTheRoot() {
    GuiFixture f;
    QDir(QString::fromStdString(f.home)).mkpath("a/b");
    f.config.leftPath = f.home + "/a/b";
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    f.pane(Side::Left).focusRow(0);
    QCOMPARE(f.names(Side::Left).value(0), QString(".."));
    QTest::keyClick(f.list(Side::Left), Qt::Key_Backspace);
    QCOMPARE(f.context->panes.pcPath(Side::Left), f.home + "/a");
    QTest::keyClick(f.list(Side::Left), Qt::Key_Backspace);
    QCOMPARE(f.context->panes.pcPath(Side::Left), f.home);
    // The home folder is no drive root: it lists ".." and Backspace leaves it upwards.
    QCOMPARE(f.names(Side::Left).value(0), QString(".."));
    QTest::keyClick(f.list(Side::Left), Qt::Key_Backspace);
    const std::string parent = QFileInfo(QString::fromStdString(f.home)).path().toStdString();
    QCOMPARE(f.context->panes.pcPath(Side::Left), parent);
    QCOMPARE(QString::fromStdString(f.context->panes.pathText(Side::Left)),
             f.pane(Side::Left).widgets().path->text());
    // A mounted drive's root (entry 7) lists no "..", and Backspace stays there.
    QDir(QString::fromStdString(f.other)).mkpath("c");
    f.pane(Side::Left).chooseLocation(7);
    QCOMPARE(f.context->panes.pcPath(Side::Left), f.other);
    QVERIFY(!f.names(Side::Left).contains(".."));
    f.pane(Side::Left).focusRow(0);
    QTest::keyClick(f.list(Side::Left), Qt::Key_Backspace);
    QCOMPARE(f.context->panes.pcPath(Side::Left), f.other);
}

void DispatchTest::numpadZeroMarksTheRowAndMovesTheFocus() {
    GuiFixture f;
    for (const char* name : {"a", "b", "c"}) GuiFixture::touch(f.home + "/" + name);
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    PaneController& left = f.pane(Side::Left);
    left.focusRow(0);
    QTest::keyClick(f.list(Side::Left), Qt::Key_0, Qt::KeypadModifier);
    QTest::keyClick(f.list(Side::Left), Qt::Key_0, Qt::KeypadModifier);
    QCOMPARE(left.selectedRows(), (std::vector<int>{0, 1}));
    QCOMPARE(left.focusedRow(), 2);
}

void DispatchTest::altRRereadsTheActivePane() {
    GuiFixture f;
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    f.pane(Side::Right).focusRow(0);
    QCOMPARE(f.context->panes.activePane.load(), 1);
    GuiFixture::touch(f.home + "/fresh.txt");
    QVERIFY(!f.names(Side::Right).contains("fresh.txt"));
    QTest::keyClick(f.list(Side::Right), Qt::Key_R, Qt::AltModifier);
    QVERIFY(f.names(Side::Right).contains("fresh.txt"));
    QVERIFY(!f.names(Side::Left).contains("fresh.txt"));
}

void DispatchTest::pathFieldShowsItsPaneAgainOnFocusLoss() {
    GuiFixture f;
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QLineEdit* path = f.pane(Side::Left).widgets().path;
    const QString shown = path->text();
    path->setFocus();
    QTest::keyClicks(path, "xyz");
    QVERIFY(path->text() != shown);
    f.list(Side::Right)->setFocus();
    QCOMPARE(path->text(), shown);
    QVERIFY(!path->isUndoAvailable());
}

QTEST_MAIN(DispatchTest)
#include "tst_dispatch.moc"
