#include "gui/dialogs/seem_compare_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "app/app_context.h"
#include "base/event_log.h"
#include "base/prompter.h"
#include "gui/controls/fonts.h"
#include "gui/dialogs/seem_functions_dialog.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"
#include "platform/safe_file.h"
#include "seem/seem_bit.h"

namespace mdk {
namespace {

QString qs(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

QString hex(uint32_t value) {
    return QString::asprintf("%02X", unsigned(value));
}

QString recordNote(const SeemRecordDiff& d) {
    if (d.state == SeemRecordState::OnlyInA) {
        return QString("only in A (%1 bytes)").arg(d.lengthA);
    }
    if (d.state == SeemRecordState::OnlyInB) {
        return QString("only in B (%1 bytes)").arg(d.lengthB);
    }
    return QString("length differs: %1 bytes in A, %2 in B").arg(d.lengthA).arg(d.lengthB);
}

QString meaningOf(const SeemBitChange& bit) {
    if (!bit.function) return "(not in the catalogue)";
    if (bit.heading.empty()) return qs(bit.description);
    return qs(bit.description + " [" + bit.heading + "]");
}

}  // namespace

SeemCompareDialog::SeemCompareDialog(AppContext& context, FolderChooser chooseFolder,
                                     DialogRunner runDialog, QWidget* parent)
    : QDialog(parent),
      context_(context),
      chooseFolder_(std::move(chooseFolder)),
      runDialog_(std::move(runDialog)) {
    setWindowTitle("Compare seems");
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* sides = new QGridLayout;
    buildSide(*sides, 0, "A (before):", a_, kSourceA);
    buildSide(*sides, 1, "B (after):", b_, kSourceB);
    sides->setColumnStretch(2, 1);
    layout->addLayout(sides);
    summary_ = new QLabel("Choose two sources and press Compare.", this);
    summary_->setObjectName(QString::number(kSummary));
    layout->addWidget(summary_);
    table_ = new QTableWidget(0, kColumnCount, this);
    table_->setObjectName(QString::number(kTable));
    table_->setHorizontalHeaderLabels({"Record", "Offset", "A", "B", "Bit", "A>B", "Meaning"});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setFont(listFont());
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    layout->addWidget(table_, 1);
    layout->addWidget(buildButtons());
    setSource(true, kBackupFolder);
    setSource(false, kPhone);
    updateButtons();
    resize(820, 480);
}

void SeemCompareDialog::buildSide(QGridLayout& grid, int row, const char* label, SideWidgets& side,
                                  int firstId) {
    side.source = new QComboBox(this);
    side.source->setObjectName(QString::number(firstId));
    side.source->addItems({"Backup folder", "Phone"});
    side.folder = new QLineEdit(this);
    side.folder->setObjectName(QString::number(firstId + 1));
    side.browse = new QPushButton("Browse…", this);
    side.browse->setObjectName(QString::number(firstId + 2));
    grid.addWidget(new QLabel(label, this), row, 0);
    grid.addWidget(side.source, row, 1);
    grid.addWidget(side.folder, row, 2);
    grid.addWidget(side.browse, row, 3);
    SideWidgets* s = &side;
    connect(side.source, &QComboBox::currentIndexChanged, this, [s](int index) {
        s->folder->setEnabled(index == kBackupFolder);
        s->browse->setEnabled(index == kBackupFolder);
    });
    connect(side.browse, &QPushButton::clicked, this, [this, firstId] { command(firstId + 2); });
}

QWidget* SeemCompareDialog::buildButtons() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    const std::pair<const char*, int> buttons[] = {{"&Compare", kCompare},
                                                   {"Show in Seem Functions", kShowFunction},
                                                   {"Write back old value", kWriteBack},
                                                   {"Close", kClose}};
    for (const auto& [text, id] : buttons) {
        auto* button = new QPushButton(text, row);
        button->setObjectName(QString::number(id));
        connect(button, &QPushButton::clicked, this, [this, id = id] { command(id); });
        layout->addWidget(button);
        if (id == kCompare) layout->addStretch(1);
        if (id == kShowFunction) showFunction_ = button;
        if (id == kWriteBack) writeBack_ = button;
    }
    return row;
}

void SeemCompareDialog::setSource(bool sideA, Source source, const std::string& folder) {
    SideWidgets& side = sideA ? a_ : b_;
    side.source->setCurrentIndex(source);
    side.folder->setText(qs(folder));
    side.folder->setEnabled(source == kBackupFolder);
    side.browse->setEnabled(source == kBackupFolder);
}

void SeemCompareDialog::command(int id) {
    switch (id) {
        case kBrowseA:
            return browse(a_);
        case kBrowseB:
            return browse(b_);
        case kCompare:
            return compare();
        case kShowFunction:
            return showFunction();
        case kWriteBack:
            return writeBack();
        case kClose:
            return accept();
        default:
            break;
    }
}

void SeemCompareDialog::browse(SideWidgets& side) {
    if (auto folder = chooseFolder_("Compare seems: choose a backup folder")) {
        side.folder->setText(qs(*folder));
    }
}

bool SeemCompareDialog::phoneOn(const SideWidgets& side) const {
    return side.source->currentIndex() == kPhone;
}

std::optional<SeemSnapshot> SeemCompareDialog::readSide(const SideWidgets& side,
                                                        const SeemSnapshot* other,
                                                        std::string& error) {
    if (!phoneOn(side)) {
        const std::string folder = side.folder->text().toStdString();
        if (folder.empty()) {
            error = "no backup folder chosen";
            return std::nullopt;
        }
        return readBackupSeems(folder, error);
    }
    if (context_.driver.linkHandle() == 0) {
        error = "no phone connected";
        return std::nullopt;
    }
    BackupPhone phone{context_.commands, context_.catalogue, context_.runSettings, context_.clock};
    auto records = readPhoneSeems(phone, other->records, true, error);
    if (!records) return std::nullopt;
    const bool p2k05 = context_.commands.transport().p2k05Active();
    return SeemSnapshot{std::move(*records), "", p2k05 ? "P2k05" : "P2k"};
}

SeemMeanings SeemCompareDialog::loadMeanings(const std::string& framing) {
    const std::string path =
        context_.files.dataFolder() + "/" + seemFunctionsFileName(p2k05Framing(framing));
    std::string error;
    auto bytes = readWholeFile(path, error);
    if (!bytes) {
        context_.log.logLine("Compare seems: no seem function catalogue (" + error + ")");
        return {};
    }
    return SeemMeanings(
        parseSeemCatalogue({reinterpret_cast<const char*>(bytes->data()), bytes->size()})
            .functions);
}

void SeemCompareDialog::compare() {
    diffs_.clear();
    rows_.clear();
    table_->setRowCount(0);
    updateButtons();
    if (phoneOn(a_) && phoneOn(b_)) {
        summary_->setText("Only one side can be the phone.");
        return;
    }
    // The phone side is read last: it reads the seems the backup side holds.
    const bool phoneFirst = phoneOn(a_);
    std::string error;
    auto backup = readSide(phoneFirst ? b_ : a_, nullptr, error);
    std::optional<SeemSnapshot> second;
    if (backup) second = readSide(phoneFirst ? a_ : b_, &*backup, error);
    if (!backup || !second) {
        summary_->setText(qs("Cannot compare: " + error));
        context_.log.logLine("Compare seems: " + error);
        return;
    }
    const SeemSnapshot& a = phoneFirst ? *second : *backup;
    const SeemSnapshot& b = phoneFirst ? *backup : *second;
    phoneSideA_ = phoneOn(a_);
    phoneSideB_ = phoneOn(b_);
    const std::string& framing = phoneSideB_ || a.framing.empty() ? b.framing : a.framing;
    diffs_ = diffSeemRecords(a.records, b.records, loadMeanings(framing));
    summary_->setText(diffs_.empty() ? QString("The seem records are the same (%1 in A, %2 in B).")
                                           .arg(a.records.size())
                                           .arg(b.records.size())
                                     : QString("%1 record(s) differ.").arg(diffs_.size()));
    fillTable();
}

void SeemCompareDialog::fillTable() {
    for (const SeemRecordDiff& d : diffs_) {
        QString name = qs(seemRecordName(d.key));
        if (d.state != SeemRecordState::Changed || d.lengthDiffers()) {
            addRow({d.key, 0, std::nullopt}, {name, "", "", "", "", "", recordNote(d)});
        }
        for (const SeemByteChange& byte : d.bytes) {
            for (const SeemBitChange& bit : byte.bits) {
                addRow({d.key, byte.offset, bit},
                       {name, hex(byte.offset), hex(byte.oldValue), hex(byte.newValue),
                        qs(seemBitNotation(d.key, byte.offset, bit.bit)),
                        QString("%1>%2").arg(bit.oldValue).arg(bit.newValue), meaningOf(bit)});
            }
        }
    }
    // The meaning takes the room the other columns leave.
    for (int c = 0; c < kMeaningColumn; ++c) table_->resizeColumnToContents(c);
}

void SeemCompareDialog::addRow(const RowBit& row, const QStringList& cells) {
    const int index = table_->rowCount();
    table_->insertRow(index);
    for (int c = 0; c < cells.size(); ++c)
        table_->setItem(index, c, new QTableWidgetItem(cells[c]));
    rows_.push_back(row);
}

const SeemCompareDialog::RowBit* SeemCompareDialog::selectedBit() const {
    const int row = table_->currentRow();
    if (row < 0 || size_t(row) >= rows_.size() || !rows_[size_t(row)].bit) return nullptr;
    return &rows_[size_t(row)];
}

void SeemCompareDialog::updateButtons() {
    const RowBit* row = selectedBit();
    showFunction_->setEnabled(row && row->bit->function.has_value());
    // One side must be the phone; the other side's value is the one written back.
    writeBack_->setEnabled(row && row->offset < kSeemRecordMax && phoneSideA_ != phoneSideB_);
}

void SeemCompareDialog::showFunction() {
    const RowBit* row = selectedBit();
    if (!row) return;
    const SeemBitAddress address{row->key.first, row->key.second,
                                 static_cast<uint16_t>(row->offset), row->bit->bit};
    SeemFunctionsDialog dialog(
        context_.commands, context_.files.dataFolder(),
        [this] { return context_.driver.linkHandle() != 0; }, context_.prompter, this);
    const auto& functions = dialog.table().functions();
    for (size_t i = 0; i < functions.size(); ++i) {
        if (functions[i].address == address) {
            if (auto* list =
                    dialog.findChild<QTableWidget*>(QString::number(SeemFunctionsDialog::kTable))) {
                list->setCurrentCell(int(i), 0);
            }
            break;
        }
    }
    runDialog_(dialog);
}

void SeemCompareDialog::writeBack() {
    const RowBit* row = selectedBit();
    if (!row || phoneSideA_ == phoneSideB_) return;
    const SeemBitAddress address{row->key.first, row->key.second,
                                 static_cast<uint16_t>(row->offset), row->bit->bit};
    const int value = phoneSideB_ ? row->bit->oldValue : row->bit->newValue;
    const std::string bitText = seemBitNotation(row->key, row->offset, row->bit->bit);
    const PromptAnswer answer = context_.prompter.ask(
        {"Compare seems",
         "Write bit " + bitText + " back to " + std::to_string(value) + " on the phone?",
         PromptButtons::YesNo, PromptIcon::Question});
    if (answer != PromptAnswer::Yes) return;
    const SeemBitResult result = changeSeemBit(context_.commands, address,
                                               value ? SeemBitAction::Set : SeemBitAction::Clear);
    if (!result.ok()) {
        context_.log.logLine("Compare seems: " + result.detail);
        context_.prompter.ask({"Compare seems", "The bit was not written: " + result.detail,
                               PromptButtons::Ok, PromptIcon::Warning});
        return;
    }
    context_.log.logLine("Compare seems: bit " + bitText + " written back to " +
                         std::to_string(value));
    compare();
}

}  // namespace mdk
