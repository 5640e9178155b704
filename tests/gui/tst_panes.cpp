// PC panes: row order, listing, size texts, locations and their fallbacks, drops.
#include <unistd.h>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

#include "gui/panes/location_combo.h"
#include "gui/panes/pane_rows_model.h"
#include "gui/window/log_list.h"
#include "gui_fixture.h"
#include "panes/compare_rows.h"
#include "panes/pc_listing.h"

using namespace mdk;
using namespace mdk::test;

namespace {

// The phone side as a recorder.
class RecordingPhone final : public PhoneSource {
public:
    bool selectPhoneLocation(Side, uint32_t) override { return true; }
    void rereadPhone(Side) override {}
    void showPhoneFolder(Side) override { ++shown; }
    void activatePhoneRow(Side, const std::string&) override {}
    void dropOnPhone(Side, const std::string& file) override { dropped.push_back(file); }
    std::vector<std::string> dropped;
    int shown = 0;
};

}  // namespace

class PanesTest : public QObject {
    Q_OBJECT
private slots:
    void listingPutsFoldersThenDotDotFirst();
    void modeFourKeepsFoldersAndDotDotFirst();
    void sizeOrderLastsUntilTheNextListing();
    void dateColumnEndsInTwentyFourHourTime();
    void locationsFallBackToEntrySix_data();
    void locationsFallBackToEntrySix();
    void favouriteOpensTheFolderAfterTheMarker();
    void driveEntryReturnsToTheLastFolderVisitedBelowIt();
    void activatingAFileHandsItToTheDesktop();
    void favouritesAreAddedAndDeletedInBothLists();
    void tooLongFavouriteIsRefusedNotCut();
    void dropHandlesFilesLastFirst();
    void dropOntoPcPaneCopiesWithoutOverwriting();
    void dropOntoPcPaneWhileTheOtherShowsThePhoneDoesNothing();
    void pasteTakesTheClipboardFileList();
    void namesAndLogLinesShowTheirControlsVisibly();
};

void PanesTest::listingPutsFoldersThenDotDotFirst() {
    GuiFixture f;
    QDir home(QString::fromStdString(f.home));
    home.mkpath("sub/inner");
    GuiFixture::touch(f.home + "/sub/file.txt");
    f.config.leftPath = f.home;
    f.start();
    // The home folder is no drive root: ".." comes first.
    QCOMPARE(f.names(Side::Left).value(0), QString(".."));
    QVERIFY(!f.names(Side::Left).contains("."));
    f.pane(Side::Left).focusRow(f.names(Side::Left).indexOf("sub"));
    f.pane(Side::Left).activateFocusedRow();
    QCOMPARE(f.names(Side::Left), (QStringList{"..", "inner", "file.txt"}));
    QCOMPARE(f.pane(Side::Left).widgets().path->text(), QString::fromStdString(f.home + "/sub"));
    QCOMPARE(f.pane(Side::Left).focusedRow(), 0);
}

void PanesTest::modeFourKeepsFoldersAndDotDotFirst() {
    GuiFixture f;
    QDir(QString::fromStdString(f.home)).mkpath("top/a_dir");
    QDir(QString::fromStdString(f.home)).mkpath("top/z_dir");
    for (const char* name : {"a.txt", "m.txt", "z.txt"}) GuiFixture::touch(f.home + "/top/" + name);
    f.config.leftPath = f.home + "/top";
    f.start();
    f.pane(Side::Left).clickColumn(0);  // 3 -> 4
    QCOMPARE(f.context->panes.nameSortMode.load(), 4);
    QCOMPARE(f.pane(Side::Left).model()->headerImage(0), kHeaderImageDescending);
    f.pane(Side::Left).reread();
    QCOMPARE(f.names(Side::Left), (QStringList{"..", "z_dir", "a_dir", "z.txt", "m.txt", "a.txt"}));
    f.pane(Side::Left).clickColumn(0);  // 4 -> 3
    QCOMPARE(f.names(Side::Left), (QStringList{"..", "a_dir", "z_dir", "a.txt", "m.txt", "z.txt"}));
    QCOMPARE(f.pane(Side::Left).model()->headerImage(0), kHeaderImageAscending);
}

void PanesTest::sizeOrderLastsUntilTheNextListing() {
    GuiFixture f;
    GuiFixture::touch(f.home + "/a_big", std::string(300, 'x'));
    GuiFixture::touch(f.home + "/b_small", "x");
    GuiFixture::touch(f.home + "/c_mid", std::string(20, 'x'));
    f.start();
    PaneController& left = f.pane(Side::Left);
    left.clickColumn(1);
    QCOMPARE(f.names(Side::Left), (QStringList{"..", "b_small", "c_mid", "a_big"}));
    QCOMPARE(left.model()->headerImage(1), kHeaderImageAscending);
    QCOMPARE(left.model()->headerImage(0), kHeaderImageNone);
    QCOMPARE(f.pane(Side::Right).model()->headerImage(1), kHeaderImageNone);
    left.clickColumn(1);
    QCOMPARE(f.names(Side::Left), (QStringList{"..", "a_big", "c_mid", "b_small"}));
    QCOMPARE(f.context->panes.nameSortMode.load(), 3);
    left.clickColumn(2);  // the date column sorts nothing
    QCOMPARE(f.names(Side::Left), (QStringList{"..", "a_big", "c_mid", "b_small"}));
    left.reread();
    QCOMPARE(f.names(Side::Left), (QStringList{"..", "a_big", "b_small", "c_mid"}));
}

void PanesTest::dateColumnEndsInTwentyFourHourTime() {
    // The time-of-day text itself is tested with the core (pane_rows_test.cpp).
    GuiFixture f;
    const std::string file = f.home + "/dated";
    GuiFixture::touch(file);
    // 14:31 local time: the column shows " 14:31", never " 02:31".
    const QDateTime afternoon(QDate(2026, 3, 4), QTime(14, 31));
    QFile dated(QString::fromStdString(file));
    QVERIFY(dated.open(QIODevice::ReadWrite));
    QVERIFY(dated.setFileTime(afternoon, QFileDevice::FileModificationTime));
    dated.close();
    f.start();
    const int row = f.names(Side::Left).indexOf("dated");
    QVERIFY(row >= 0);
    const QString date = QString::fromStdString(f.rows(Side::Left).at(size_t(row)).detailText);
    QVERIFY2(date.endsWith(" 14:31"), qPrintable(date));
    QVERIFY2(QRegularExpression(".+ \\d\\d:\\d\\d$").match(date).hasMatch(), qPrintable(date));
}

void PanesTest::locationsFallBackToEntrySix_data() {
    QTest::addColumn<QString>("favourite");
    QTest::addColumn<int>("chosen");
    QTest::newRow("empty favourite") << "" << 9;
    QTest::newRow("drive without medium") << "_/tmp" << 8;
    QTest::newRow("favourite gone") << "_/no/such/folder" << 9;
    QTest::newRow("seem entry re-read") << "" << 4;
}

void PanesTest::locationsFallBackToEntrySix() {
    QFETCH(QString, favourite);
    QFETCH(int, chosen);
    GuiFixture f;
    f.config.favouriteFolder = favourite.toStdString();
    f.config.rightPath = f.other;
    f.config.rightSource = 7;
    f.start();
    PaneController& right = f.pane(Side::Right);
    QCOMPARE(f.context->panes.pcPath(Side::Right), f.other);
    if (chosen == 4) {
        f.context->panes.setLocationIndex(Side::Right, 4);
        right.reread();
    } else {
        right.widgets().combo->setCurrentIndex(chosen);
        emit right.widgets().combo->activated(chosen);
    }
    QCOMPARE(f.context->panes.locationIndex(Side::Right), 6u);
    QCOMPARE(right.widgets().combo->currentIndex(), 6);
    QCOMPARE(f.context->panes.pcPath(Side::Right), f.home);
    QCOMPARE(right.widgets().path->text(), QString::fromStdString(f.home));
}

void PanesTest::favouriteOpensTheFolderAfterTheMarker() {
    GuiFixture f;
    QDir(QString::fromStdString(f.other)).mkpath("fav");
    f.config.favouriteFolder = "_" + f.other + "/fav";
    f.start();
    PaneController& left = f.pane(Side::Left);
    const int entry = left.widgets().combo->count() - 1;
    QCOMPARE(left.widgets().combo->itemText(entry),
             QString::fromStdString(f.config.favouriteFolder));
    emit left.widgets().combo->activated(entry);
    QCOMPARE(f.context->panes.pcPath(Side::Left), f.other + "/fav");
    QCOMPARE(f.context->panes.locationIndex(Side::Left), uint32_t(entry));
    // The favourite lies on the "other" drive: ".." leads up to that drive's root only.
    QCOMPARE(f.names(Side::Left).value(0), QString(".."));
    QVERIFY(f.logLines().contains(QString::fromStdString(f.config.favouriteFolder)));
}

void PanesTest::driveEntryReturnsToTheLastFolderVisitedBelowIt() {
    GuiFixture f;
    QDir(QString::fromStdString(f.other)).mkpath("deep/er");
    f.start();
    PaneController& left = f.pane(Side::Left);
    emit left.widgets().combo->activated(7);
    QCOMPARE(f.context->panes.pcPath(Side::Left), f.other);
    left.focusRow(f.names(Side::Left).indexOf("deep"));
    left.activateFocusedRow();
    emit left.widgets().combo->activated(6);
    QCOMPARE(f.context->panes.pcPath(Side::Left), f.home);
    // The right pane choosing the same drive arrives where the left pane left it.
    emit f.pane(Side::Right).widgets().combo->activated(7);
    QCOMPARE(f.context->panes.pcPath(Side::Right), f.other + "/deep");
}

void PanesTest::activatingAFileHandsItToTheDesktop() {
    GuiFixture f;
    GuiFixture::touch(f.home + "/readme.txt");
    f.start();
    PaneController& left = f.pane(Side::Left);
    left.focusRow(f.names(Side::Left).indexOf("readme.txt"));
    left.activateFocusedRow();
    QCOMPARE(f.opened, std::vector<std::string>{f.home + "/readme.txt"});
    QCOMPARE(f.context->panes.pcPath(Side::Left), f.home);
}

void PanesTest::favouritesAreAddedAndDeletedInBothLists() {
    GuiFixture f;
    MainWindow& w = f.start();
    const int count = f.pane(Side::Left).widgets().combo->count();
    w.dispatchCommand(ids::kMenuAddFavourite);
    QTest::qWait(0);  // the combos follow the core on the GUI thread
    for (Side side : {Side::Left, Side::Right}) {
        QComboBox* combo = f.pane(side).widgets().combo;
        QCOMPARE(combo->count(), count + 1);
        QCOMPARE(combo->itemText(count), QString::fromStdString("_" + f.home));
    }
    QCOMPARE(f.context->config.favouriteFolder, "_" + f.home);
    w.dispatchCommand(ids::kMenuDeleteFavourite);
    w.dispatchCommand(ids::kMenuDeleteFavourite);  // none left: nothing changes
    QTest::qWait(0);
    for (Side side : {Side::Left, Side::Right}) {
        QCOMPARE(f.pane(side).widgets().combo->count(), count);
    }
    QCOMPARE(f.context->config.favouriteFolder, std::string());
}

void PanesTest::tooLongFavouriteIsRefusedNotCut() {
    GuiFixture f;
    MainWindow& w = f.start();
    const std::string longPath = "/" + std::string(254, 'x');
    f.context->panes.setPathText(Side::Left, longPath);
    const int count = f.pane(Side::Left).widgets().combo->count();
    w.dispatchCommand(ids::kMenuAddFavourite);
    QTest::qWait(0);
    QCOMPARE(f.pane(Side::Left).widgets().combo->count(), count);
    QCOMPARE(f.context->config.favouriteFolder, std::string());
    QCOMPARE(QString::fromStdString(f.prompter.shown().back().title), QString("Warning"));
    // One character less fits the field with its terminating zero.
    f.context->panes.setPathText(Side::Left, longPath.substr(0, 253));
    w.dispatchCommand(ids::kMenuAddFavourite);
    QCOMPARE(f.context->config.favouriteFolder.size(), size_t(254));
}

void PanesTest::dropHandlesFilesLastFirst() {
    GuiFixture f;
    MainWindow& w = f.start();
    RecordingPhone phone;
    w.setPhoneSource(&phone);
    f.context->panes.setLocationIndex(Side::Left, 0);  // the target shows a phone volume
    QStringList files;
    for (const char* name : {"A", "B", "C"}) {
        GuiFixture::touch(f.other + "/" + name);
        files << QString::fromStdString(f.other + "/" + name);
    }
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& file : files) urls << QUrl::fromLocalFile(file);
    data.setUrls(urls);
    QWidget* viewport = f.list(Side::Left)->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    QCOMPARE(phone.dropped,
             (std::vector<std::string>{f.other + "/C", f.other + "/B", f.other + "/A"}));
    QVERIFY(f.list(Side::Left)->isVisibleTo(&w));
    QVERIFY(f.list(Side::Right)->isVisibleTo(&w));
}

void PanesTest::dropOntoPcPaneCopiesWithoutOverwriting() {
    GuiFixture f;
    GuiFixture::touch(f.home + "/same.txt", "old");
    GuiFixture::touch(f.other + "/same.txt", "new");
    GuiFixture::touch(f.other + "/fresh.txt", "fresh");
    f.config.leftPath = f.home;
    f.start();
    emit f.list(Side::Left)
        ->filesDropped({QString::fromStdString(f.other + "/fresh.txt"),
                        QString::fromStdString(f.other + "/same.txt")});
    QCOMPARE(GuiFixture::readFile(f.home + "/same.txt"), std::string("old"));
    QCOMPARE(GuiFixture::readFile(f.home + "/fresh.txt"), std::string("fresh"));
    QVERIFY(f.names(Side::Left).contains("fresh.txt"));
}

void PanesTest::dropOntoPcPaneWhileTheOtherShowsThePhoneDoesNothing() {
    GuiFixture f;
    GuiFixture::touch(f.other + "/x.txt");
    MainWindow& w = f.start();
    RecordingPhone phone;
    w.setPhoneSource(&phone);
    f.context->panes.setLocationIndex(Side::Right, 1);
    emit f.list(Side::Left)->filesDropped({QString::fromStdString(f.other + "/x.txt")});
    QVERIFY(!QFile::exists(QString::fromStdString(f.home + "/x.txt")));
    QVERIFY(phone.dropped.empty());
}

void PanesTest::pasteTakesTheClipboardFileList() {
    GuiFixture f;
    GuiFixture::touch(f.other + "/p1");
    GuiFixture::touch(f.other + "/p2");
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    RecordingPhone phone;
    w.setPhoneSource(&phone);
    f.context->panes.setLocationIndex(Side::Left, 0);
    QApplication::clipboard()->setText("just text");
    QTest::keyClick(f.list(Side::Left), Qt::Key_V, Qt::ControlModifier);
    QVERIFY(phone.dropped.empty());
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(QString::fromStdString(f.other + "/p1")),
                   QUrl::fromLocalFile(QString::fromStdString(f.other + "/p2"))});
    QApplication::clipboard()->setMimeData(data);
    QTest::keyClick(f.list(Side::Left), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(phone.dropped, (std::vector<std::string>{f.other + "/p2", f.other + "/p1"}));
}

// A phone name holding terminal controls or bytes that are no UTF-8 shows them as \xNN,
// in a pane and in the log.
void PanesTest::namesAndLogLinesShowTheirControlsVisibly() {
    std::vector<PaneRow> rows(1);
    rows[0].name =
        "\x1b]0;x\x07"
        "caf\xe9 \xc2\x9b";
    PaneRowsModel model(rows);
    QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(),
             QString("\\x1B]0;x\\x07caf\\xE9 \\xC2\\x9B"));
    LogList list;
    list.appendLine("Download: /a/\x1b[2J\xe9");
    QTRY_COMPARE(list.lines().last(), QString("Download: /a/\\x1B[2J\\xE9"));
}

QTEST_MAIN(PanesTest)
#include "tst_panes.moc"
