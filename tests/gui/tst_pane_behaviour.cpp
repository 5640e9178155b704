// What a phone pane shows around its listings: catalogue reloads, refused volume choices,
// location icons, the status bar, the path field, the progress bar, row heights and icons,
// the kept sort order and the columns after a seem pane falls back to a PC folder.
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <future>

#include "app/control_ids.h"
#include "device/device_view.h"
#include "gui/controls/status_bar.h"
#include "gui/panes/file_commands.h"
#include "p2k/file_transfer.h"
#include "panes/compare_rows.h"
#include "phone_gui_fixture.h"

using namespace mdk;
using namespace mdk::test;

class PaneBehaviourTest : public QObject {
    Q_OBJECT
private slots:
    void aRecordTheCatalogueRefusedIsListedAfterAReload();
    void aRefusedVolumeChoiceKeepsThePreviousLocation();
    void emptySlotsKeepTheirOwnIcon();
    void statusBarFilledOnAttachAndClearedWhenTheInterfaceGoesDown();
    void pathFieldFollowsThePcFallbackAfterALinkDrop();
    void progressBarEmptiesWhenAnOperationEnds();
    void rowsHaveOneHeightAndPhoneFoldersTheFolderIcon();
    void theSortOrderOutlivesARelisting_data();
    void theSortOrderOutlivesARelisting();
    void rereadOfASeemPaneRestoresThePcColumns();
    void aFolderUploadIsListedAtOnce();
};

namespace {

// Keeps a worker running (its wait dialog closed early) until release() is called.
class BusyWorker {
public:
    explicit BusyWorker(WorkerRunner& workers) : workers_(workers) {
        workers_.setShowDialog(true);
        QTimer::singleShot(50, [] {
            if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
        });
        auto released = release_.get_future().share();
        workers_.run("Test", [released] { released.wait(); });
    }
    void release() {
        QSignalSpy finished(&workers_, &WorkerRunner::jobFinished);
        release_.set_value();
        finished.wait(5000);
        workers_.setShowDialog(false);
    }

private:
    WorkerRunner& workers_;
    std::promise<void> release_;
};

PartStatusBar* statusBar(MainWindow& w) {
    return static_cast<PartStatusBar*>(w.control(ids::kStatusBar));
}

}  // namespace

void PaneBehaviourTest::aRecordTheCatalogueRefusedIsListedAfterAReload() {
    PhoneGuiFixture f;
    f.startWithPhone();
    f.pane(Side::Right).chooseLocation(0);
    f.activate(Side::Right, "a");
    QVERIFY(!f.names(Side::Right).contains("late.txt"));
    // The phone has a new file, and the catalogue could not take its record.
    QVERIFY(f.model.addFile("/a/late.txt", {1, 2, 3}));
    QVERIFY(!f.context->catalogue.appendCatalogueRecord("/a/" + std::string(400, 'n'), 1,
                                                        kUploadedAttributeWord));
    f.phonePane().listPhoneFolder(Side::Right);
    QVERIFY(f.names(Side::Right).contains("late.txt"));
    QVERIFY(!f.context->catalogue.needsReload());
}

void PaneBehaviourTest::aRefusedVolumeChoiceKeepsThePreviousLocation() {
    PhoneGuiFixture f;
    GuiFixture::touch(f.home + "/pc-file.txt");
    MainWindow& w = f.startWithPhone();
    const uint32_t before = f.context->panes.locationIndex(Side::Right);
    QVERIFY(before >= kFirstPcEntry);
    BusyWorker busy(f.ui->workers());
    auto* combo = static_cast<QComboBox*>(w.control(ids::kRightCombo));
    combo->setCurrentIndex(0);
    f.pane(Side::Right).chooseLocation(0);
    QVERIFY(f.logLines().contains("A phone operation is still running: Volume choice refused."));
    QCOMPARE(f.context->panes.locationIndex(Side::Right), before);
    QCOMPARE(f.context->panes.kind(Side::Right), LocationKind::Pc);
    QCOMPARE(combo->currentIndex(), int(before));
    QVERIFY(f.names(Side::Right).contains("pc-file.txt"));
    busy.release();
}

void PaneBehaviourTest::emptySlotsKeepTheirOwnIcon() {
    PhoneGuiFixture f;
    f.startWithPhone();
    f.pane(Side::Right).chooseLocation(0);
    // The sample phone has /a, /b and /c: the fourth slot is empty.
    for (Side side : {Side::Left, Side::Right}) {
        const auto entries = f.context->panes.entries(side);
        QCOMPARE(entries[3].text, std::string("M121"));
        QCOMPARE(entries[3].icon, EntryIcon::EmptySlot);
        QCOMPARE(entries[0].icon, EntryIcon::Program);
        QCOMPARE(entries[2].icon, EntryIcon::Program);
    }
}

void PaneBehaviourTest::statusBarFilledOnAttachAndClearedWhenTheInterfaceGoesDown() {
    PhoneGuiFixture f;
    MainWindow& w = f.startWithPhone();
    f.pane(Side::Right).chooseLocation(0);
    QCoreApplication::processEvents();
    PartStatusBar* status = statusBar(w);
    QVERIFY(status->partText(0).startsWith("M80"));
    QVERIFY(status->partText(0).endsWith(" Kb"));
    QVERIFY(status->partText(0).size() > QString("M80 Kb").size());
    QCOMPARE(status->partText(1), QString("M78/a"));
    QVERIFY(status->partText(2).size() > 3);
    QCOMPARE(status->partText(2), QString("M79%1").arg(f.context->catalogue.reportedCount()));
    QVERIFY(status->partText(3).size() > 3);
    w.deviceView().phoneInterfaceDown();
    QCoreApplication::processEvents();
    QCOMPARE(status->partText(0), QString("M80"));
    QCOMPARE(status->partText(1), QString("M78"));
    QCOMPARE(status->partText(2), QString("M79"));
    QCOMPARE(status->partText(3), QString("M77"));
}

void PaneBehaviourTest::pathFieldFollowsThePcFallbackAfterALinkDrop() {
    PhoneGuiFixture f;
    GuiFixture::touch(f.home + "/pc-file.txt");
    f.startWithPhone();
    f.pane(Side::Right).chooseLocation(0);
    f.activate(Side::Right, "a");
    QCOMPARE(f.pane(Side::Right).widgets().path->text(), QString("P2k:/a/"));
    // The link is gone; a transfer's re-listing turns the pane back into a PC pane.
    f.context->driver.setLink(nullptr);
    f.phonePane().showPhoneFolder(Side::Right);
    QVERIFY(f.names(Side::Right).contains("pc-file.txt"));
    QCOMPARE(f.pane(Side::Right).widgets().path->text(), QString::fromStdString(f.home));
    QCOMPARE(f.pane(Side::Right).model()->rowCount(), int(f.rows(Side::Right).size()));
}

void PaneBehaviourTest::progressBarEmptiesWhenAnOperationEnds() {
    PhoneGuiFixture f;
    MainWindow& w = f.startWithPhone();
    auto* bar = static_cast<QProgressBar*>(w.control(ids::kProgress));
    f.pane(Side::Right).chooseLocation(0);
    QTRY_COMPARE(bar->value(), bar->minimum());
    // An operation that ends part-way (a failed download) still leaves the bar empty.
    f.ui->workers().run("Test", [&] {
        f.context->commands.progress()->setRange(0, 10);
        f.context->commands.progress()->setPosition(4);
    });
    QTRY_COMPARE(bar->value(), bar->minimum());
}

void PaneBehaviourTest::rowsHaveOneHeightAndPhoneFoldersTheFolderIcon() {
    PhoneGuiFixture f;
    QDir(QString::fromStdString(f.home)).mkdir("sub");
    GuiFixture::touch(f.home + "/pc-file.txt");
    MainWindow& w = f.start();
    w.show();
    PaneList* list = f.list(Side::Right);
    const int firstHeight = list->sizeHintForRow(0);
    QVERIFY(firstHeight > 0);
    // Rows show an icon from the first listing on.
    const QIcon firstIcon =
        f.pane(Side::Right).model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
    QVERIFY(!firstIcon.isNull());
    f.link = std::make_shared<SwitchableLink>(std::make_shared<sim::SimLink>(f.phone));
    f.context->driver.setLink(f.link);
    f.ui = std::make_unique<PhoneUi>(*f.context, w, f.linuxSettings());
    f.ui->workers().setShowDialog(false);
    f.pane(Side::Right).chooseLocation(0);
    f.activate(Side::Right, "a");
    QCOMPARE(list->sizeHintForRow(0), firstHeight);
    const PaneRow* mobile = f.row(Side::Right, "mobile");
    QVERIFY(mobile && mobile->isFolder());
    const int row = int(f.names(Side::Right).indexOf("mobile"));
    const QIcon icon =
        f.pane(Side::Right).model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>();
    QCOMPARE(icon.pixmap(16).toImage(), standardRowIcon(true).pixmap(16).toImage());
    QVERIFY(icon.pixmap(16).toImage() != standardRowIcon(false).pixmap(16).toImage());
}

void PaneBehaviourTest::theSortOrderOutlivesARelisting_data() {
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("names descending") << QList<int>{0} << QStringList{"c.txt", "b.txt", "a.txt"};
    QTest::newRow("sizes ascending") << QList<int>{1} << QStringList{"b.txt", "c.txt", "a.txt"};
    QTest::newRow("sizes descending") << QList<int>{1, 1} << QStringList{"a.txt", "c.txt", "b.txt"};
}

void PaneBehaviourTest::theSortOrderOutlivesARelisting() {
    QFETCH(QList<int>, clicks);
    QFETCH(QStringList, order);
    PhoneGuiFixture f;
    GuiFixture::touch(f.home + "/a.txt", std::string(300, 'a'));
    GuiFixture::touch(f.home + "/b.txt", std::string(100, 'b'));
    GuiFixture::touch(f.home + "/c.txt", std::string(200, 'c'));
    f.start();
    for (int column : clicks) f.pane(Side::Right).clickColumn(column);
    QCOMPARE(f.names(Side::Right).filter(".txt"), order);
    // A transfer into this pane lists it again; the Re-Read button goes back to names.
    f.pane(Side::Right).relist();
    QCOMPARE(f.names(Side::Right).filter(".txt"), order);
    f.pane(Side::Right).reread();
    const bool byName = clicks == QList<int>{0};
    QCOMPARE(f.names(Side::Right).filter(".txt"),
             byName ? order : QStringList({"a.txt", "b.txt", "c.txt"}));
}

void PaneBehaviourTest::rereadOfASeemPaneRestoresThePcColumns() {
    PhoneGuiFixture f;
    f.startWithPhone();
    PaneController& pane = f.pane(Side::Right);
    pane.chooseLocation(kSeemEntry);
    QCOMPARE(pane.model()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
             QString("M126"));
    QCOMPARE(pane.widgets().list->header()->sectionSize(0), 132);
    pane.reread();
    QCOMPARE(f.context->panes.kind(Side::Right), LocationKind::Pc);
    QCOMPARE(pane.model()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
             QString("M46"));
    QCOMPARE(pane.widgets().list->header()->sectionSize(0), f.window->rememberedColumn0());
    QCOMPARE(pane.widgets().list->header()->sectionSize(2), 120);
}

void PaneBehaviourTest::aFolderUploadIsListedAtOnce() {
    PhoneGuiFixture f;
    QDir(QString::fromStdString(f.home)).mkpath("pics/deep");
    GuiFixture::touch(f.home + "/pics/a.jpg", "A");
    GuiFixture::touch(f.home + "/pics/deep/b.jpg", "BB");
    MainWindow& w = f.startWithPhone();
    FileCommands commands(*f.context, w, f.ui->workers(), f.phonePane());
    commands.install();
    f.pane(Side::Right).chooseLocation(0);
    f.activate(Side::Right, "a");
    QVERIFY(!f.names(Side::Right).contains("pics"));
    f.context->panes.activePane = 0;
    f.pane(Side::Left).focusRow(int(f.names(Side::Left).indexOf("pics")));
    w.dispatchCommand(ids::kCopy);
    QVERIFY(f.model.fileBytes("/a/pics/deep/b.jpg"));
    QVERIFY(f.names(Side::Right).contains("pics"));
    f.activate(Side::Right, "pics");
    QCOMPARE(f.names(Side::Right), QStringList({"..", "deep", "a.jpg"}));
}

QTEST_MAIN(PaneBehaviourTest)
#include "tst_pane_behaviour.moc"
