#include "gui/dialogs/seem_functions_dialog.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <array>
#include <cstdio>

#include "base/event_log.h"
#include "base/prompter.h"
#include "gui/controls/fonts.h"
#include "gui/controls/pictures.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"
#include "platform/safe_file.h"

namespace mdk {

namespace {

struct Column {
    int message;
    int width;
    Qt::Alignment alignment;
};

// Description, seem, record, offset, bit.
constexpr std::array<Column, 5> kColumns = {{
    {131, 419, Qt::AlignLeft},
    {127, 48, Qt::AlignLeft},
    {128, 44, Qt::AlignRight},
    {129, 40, Qt::AlignLeft},
    {130, 32, Qt::AlignLeft},
}};

const QColor kHeadingText(255, 0, 0);
const QColor kHeadingBackground(255, 255, 0);
constexpr int kSearchMax = 254;

// State icons 0-3: no state, bit clear, bit set, a line without a bit.
QIcon stateIcon(FunctionIcon icon) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (icon) {
        case FunctionIcon::NoState:
            p.setPen(QColor(150, 150, 150));
            p.drawRect(2, 2, 11, 11);
            break;
        case FunctionIcon::Clear:
            p.setPen(QPen(QColor(190, 40, 40), 2));
            p.setBrush(Qt::white);
            p.drawEllipse(3, 3, 10, 10);
            break;
        case FunctionIcon::Set:
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(40, 160, 60));
            p.drawEllipse(2, 2, 12, 12);
            p.setPen(QPen(Qt::white, 2));
            p.drawLine(5, 8, 7, 11);
            p.drawLine(7, 11, 11, 5);
            break;
        case FunctionIcon::Heading:
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(230, 180, 0));
            p.drawRect(2, 2, 12, 12);
            p.setPen(QPen(QColor(200, 0, 0), 2));
            p.drawLine(8, 4, 8, 9);
            p.drawPoint(8, 12);
            break;
    }
    return QIcon(pixmap);
}

QString qs(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

QPushButton* pushButton(QWidget* parent, const char* text, int id) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    return button;
}

QLabel* valueLabel(QWidget* parent, int id) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::number(id));
    label->setMinimumWidth(60);
    return label;
}

}  // namespace

SeemFunctionsDialog::SeemFunctionsDialog(CommandSet& commands, std::string programFolder,
                                         std::function<bool()> linkOpen, Prompter& prompter,
                                         QWidget* parent)
    : QDialog(parent),
      commands_(commands),
      programFolder_(std::move(programFolder)),
      linkOpen_(std::move(linkOpen)),
      prompter_(prompter),
      table_(commands) {
    setObjectName("1850");
    setWindowTitle("Seem Functions");
    setSizeGripEnabled(true);
    buildTable();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addWidget(buildSidePanel());
    loadCatalogue();
    buildContextMenu();
    searchPosition_ = -1;
    resize(880, 520);
}

void SeemFunctionsDialog::buildTable() {
    list_ = new QTableWidget(this);
    list_->setObjectName(QString::number(kTable));
    list_->setColumnCount(int(kColumns.size()));
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    list_->setFont(listFont());
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(20);
    list_->horizontalHeader()->setSectionsMovable(true);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    for (size_t c = 0; c < kColumns.size(); ++c) {
        auto* header = new QTableWidgetItem(qs(commands_.log().message(kColumns[c].message)));
        header->setTextAlignment(kColumns[c].alignment | Qt::AlignVCenter);
        list_->setHorizontalHeaderItem(int(c), header);
        list_->setColumnWidth(int(c), kColumns[c].width);
    }
    connect(list_, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { showSelection(row); });
    // A bit toggles on a double click, Space or Enter; never on a single-click activation
    // (some desktops activate a row at the click that selects it).
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this] { toggleFocused(); });
    list_->installEventFilter(this);
    connect(list_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { menu_->popup(list_->viewport()->mapToGlobal(at)); });
}

QWidget* SeemFunctionsDialog::buildSidePanel() {
    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    searchBox_ = new QLineEdit("Office", panel);
    searchBox_->setObjectName(QString::number(kSearchBox));
    searchBox_->setMaxLength(kSearchMax);
    column->addWidget(searchBox_);
    auto* search = pushButton(panel, "Search a function", kSearch);
    search->setDefault(true);
    search->setToolTip(qs(commands_.log().message(132)));
    column->addWidget(search);

    auto* grid = new QGridLayout;
    const char* names[4] = {"Selected seem:", "Record:", "Offset:", "Bit:"};
    const int ids[4] = {kSeemValue, kRecordValue, kOffsetValue, kBitValue};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(new QLabel(names[i], panel), i, 0);
        values_[i] = valueLabel(panel, ids[i]);
        grid->addWidget(values_[i], i, 1);
    }
    statusLabel_ = new QLabel("Status:", panel);
    status_ = new QCheckBox(panel);
    status_->setObjectName(QString::number(kStatus));
    status_->hide();
    grid->addWidget(statusLabel_, 4, 0);
    grid->addWidget(status_, 4, 1);
    actualLabel_ = new QLabel("Actual Byte:", panel);
    actual_ = new QLineEdit(panel);
    actual_->setObjectName(QString::number(kActualByte));
    actual_->setReadOnly(true);
    actual_->setMaximumWidth(40);
    actual_->hide();
    grid->addWidget(actualLabel_, 5, 0);
    grid->addWidget(actual_, 5, 1);
    column->addLayout(grid);
    auto* set = pushButton(panel, "Set", kSet);
    set->hide();

    write_ = pushButton(panel, "Write seems", kWrite);
    write_->setToolTip(qs(commands_.log().message(133)));
    discard_ = pushButton(panel, "Discard changes", kDiscard);
    column->addWidget(write_);
    column->addWidget(discard_);
    column->addStretch(1);
    auto* close = pushButton(panel, "Close dialog", kClose);
    close->setToolTip(qs(commands_.log().message(134)));
    column->addWidget(close);

    // The pictures of the main window's View, Copy, Re-Read and Delete buttons.
    const std::pair<QPushButton*, int> pictures[] = {
        {search, 4100}, {write_, 4300}, {discard_, 4700}, {close, 4600}};
    for (const auto& [button, id] : pictures) {
        button->setIcon(QIcon(picture(id)));
        button->setIconSize(QSize(16, 16));
    }
    for (QPushButton* button : {search, write_, discard_, close, set}) {
        button->setAutoDefault(button == search);
        connect(button, &QPushButton::clicked, this,
                [this, button] { command(button->objectName().toInt()); });
    }
    connect(status_, &QCheckBox::clicked, this, [this] { command(kStatus); });
    return panel;
}

void SeemFunctionsDialog::buildContextMenu() {
    menu_ = new QMenu(this);
    const std::pair<int, const char*> items[] = {{kMenuToggle, "Toggle Seem Bit"},
                                                 {kMenuWrite, "Write Seems to the phone."},
                                                 {kMenuDiscard, "Discard all changes."}};
    for (const auto& [id, text] : items) {
        QAction* action = menu_->addAction(text);
        action->setObjectName(QString::number(id));
        connect(action, &QAction::triggered, this, [this, id] { command(id); });
    }
}

void SeemFunctionsDialog::command(int id) {
    write_->setVisible(linkOpen_());
    switch (id) {
        case kSearch:
            search();
            break;
        case kWrite:
        case kMenuWrite:
            writeSeems();
            break;
        case kDiscard:
        case kMenuDiscard:
            discardChanges();
            break;
        case kClose:
            closeDialog();
            break;
        case kMenuToggle:
        case kStatus:
            toggleFocused();
            break;
        default:
            break;  // a command the dialog does not know changes nothing
    }
}

bool SeemFunctionsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool toggleKey = key->key() == Qt::Key_Space || key->key() == Qt::Key_Return ||
                               key->key() == Qt::Key_Enter;
        if (toggleKey && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            toggleFocused();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SeemFunctionsDialog::reject() {
    closeDialog();
}

void SeemFunctionsDialog::closeDialog() {
    table_.freeCopies();
    QDialog::reject();
}

void SeemFunctionsDialog::setChangeButtons(bool enabled) {
    write_->setEnabled(enabled);
    discard_->setEnabled(enabled);
}

void SeemFunctionsDialog::loadCatalogue() {
    setChangeButtons(false);
    list_->clearContents();
    list_->setRowCount(0);
    const bool p2k05 = commands_.transport().p2k05Active();
    const std::string path = programFolder_ + "/" + seemFunctionsFileName(p2k05);
    std::string error;
    auto file = readWholeFile(path, error);
    if (!file) {
        table_.load({}, false);
        prompter_.ask(
            {"Warning", "Functions excel file not found", PromptButtons::Ok, PromptIcon::Warning});
        return;
    }
    table_.load(std::string_view(reinterpret_cast<const char*>(file->data()), file->size()),
                linkOpen_());
    const QSignalBlocker blocker(list_);
    list_->setRowCount(int(table_.size()));
    for (size_t row = 0; row < table_.size(); ++row) fillRow(int(row));
}

void SeemFunctionsDialog::fillRow(int row) {
    const SeemFunction& f = table_.functions()[size_t(row)];
    const std::string* texts[5] = {&f.description, &f.seemText, &f.recordText, &f.offsetText,
                                   &f.bitText};
    for (size_t c = 0; c < kColumns.size(); ++c) {
        auto* item = new QTableWidgetItem(qs(*texts[c]));
        item->setTextAlignment(kColumns[c].alignment | Qt::AlignVCenter);
        item->setData(Qt::UserRole, row);
        if (f.heading) {
            item->setForeground(kHeadingText);
            item->setBackground(kHeadingBackground);
        }
        list_->setItem(row, int(c), item);
    }
    list_->item(row, 0)->setIcon(stateIcon(table_.icon(size_t(row))));
}

int SeemFunctionsDialog::focusedRow() const {
    return list_->currentRow();
}

void SeemFunctionsDialog::showSelection(int row) {
    if (row < 0 || size_t(row) >= table_.size()) return;
    searchPosition_ = row;
    const SeemFunction& f = table_.functions()[size_t(row)];
    const std::string* texts[4] = {&f.seemText, &f.recordText, &f.offsetText, &f.bitText};
    for (int i = 0; i < 4; ++i) values_[i]->setText(qs(*texts[i]));
    const auto bit = table_.bit(size_t(row));
    const bool shown = !f.heading && table_.bitStatesLoaded() && bit.has_value();
    status_->setVisible(shown);
    actual_->setVisible(shown);
    if (bit) status_->setChecked(*bit == 1);
    char text[4] = "";
    if (auto byte = table_.actualByte(size_t(row))) std::snprintf(text, sizeof text, "%02X", *byte);
    actual_->setText(text);
}

void SeemFunctionsDialog::toggleFocused() {
    const int row = focusedRow();
    if (row < 0 || !linkOpen_() || !table_.toggle(size_t(row))) {
        showSelection(row);  // the check box goes back to the bit's state
        return;
    }
    list_->item(row, 0)->setIcon(stateIcon(table_.icon(size_t(row))));
    setChangeButtons(true);
    showSelection(row);
}

void SeemFunctionsDialog::search() {
    const std::string text = searchBox_->text().left(kSearchMax).toLocal8Bit().toStdString();
    const int found = findSeemFunction(table_.functions(), text, searchPosition_);
    if (found < 0) {
        searchPosition_ = -1;
        setWindowTitle(kNotFoundTitle);
        return;
    }
    list_->setCurrentCell(found, 0);
    list_->scrollToItem(list_->item(found, 0));
    list_->setFocus();
    searchPosition_ = found;
    setWindowTitle(qs(table_.functions()[size_t(found)].description));
}

void SeemFunctionsDialog::writeSeems() {
    if (!table_.bitStatesLoaded()) return;
    const auto report = table_.writeRecords();
    commands_.log().logLine("Write seems: " + std::to_string(report.written) + " written, " +
                            std::to_string(report.skipped + report.failed) + " not written.");
    reloadAt(focusedRow());
}

void SeemFunctionsDialog::discardChanges() {
    reloadAt(focusedRow());
}

void SeemFunctionsDialog::reloadAt(int row) {
    table_.freeCopies();
    loadCatalogue();
    if (row < 0 || row >= list_->rowCount()) return;
    list_->setCurrentCell(row, 0);
    list_->scrollToItem(list_->item(row, 0));
}

}  // namespace mdk
