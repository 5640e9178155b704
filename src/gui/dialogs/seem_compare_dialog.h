#pragma once
#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backup/seem_snapshot.h"
#include "seem/seem_diff.h"

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace mdk {

class AppContext;

// "Compare seems": two sources, each a backup folder (a seems-only or a whole backup) or
// the phone, compared record by record; each changed bit shown with its meaning from the
// seem function catalogue. A bit can be shown in the "Seem Functions" dialog, and with
// the phone on one side, the other side's value of one bit can be written back to it.
class SeemCompareDialog final : public QDialog {
    Q_OBJECT
public:
    enum Id {
        kSourceA = 1881,
        kFolderA = 1882,
        kBrowseA = 1883,
        kSourceB = 1884,
        kFolderB = 1885,
        kBrowseB = 1886,
        kCompare = 1887,
        kSummary = 1888,
        kTable = 1889,
        kShowFunction = 1890,
        kWriteBack = 1891,
        kClose = 1892,
    };
    // The entries of each side's source list.
    enum Source { kBackupFolder = 0, kPhone = 1 };
    enum Column {
        kRecordColumn,
        kOffsetColumn,
        kAColumn,
        kBColumn,
        kBitColumn,
        kChangeColumn,
        kMeaningColumn,
        kColumnCount
    };

    // The folder the user picks; nullopt on Cancel.
    using FolderChooser = std::function<std::optional<std::string>(const std::string& title)>;
    // Runs a modal dialog (tests answer it instead).
    using DialogRunner = std::function<void(QDialog&)>;

    SeemCompareDialog(AppContext& context, FolderChooser chooseFolder, DialogRunner runDialog,
                      QWidget* parent = nullptr);

    // Each side's source: a backup folder, or the phone (folder empty).
    void setSource(bool sideA, Source source, const std::string& folder = {});
    const std::vector<SeemRecordDiff>& differences() const { return diffs_; }

public slots:
    // One command by id, as the buttons send it.
    void command(int id);

private:
    // What a table row stands for: a record note, or one changed bit.
    struct RowBit {
        SeemRecordKey key;
        uint32_t offset = 0;
        std::optional<SeemBitChange> bit;
    };
    struct SideWidgets {
        QComboBox* source = nullptr;
        QLineEdit* folder = nullptr;
        QPushButton* browse = nullptr;
    };

    void buildSide(QGridLayout& grid, int row, const char* label, SideWidgets& side, int firstId);
    QWidget* buildButtons();
    void browse(SideWidgets& side);
    void compare();
    // The side's records; nullopt (with error set) when they cannot be read.
    std::optional<SeemSnapshot> readSide(const SideWidgets& side, const SeemSnapshot* other,
                                         std::string& error);
    SeemMeanings loadMeanings(const std::string& framing);
    void fillTable();
    void addRow(const RowBit& row, const QStringList& cells);
    void updateButtons();
    const RowBit* selectedBit() const;
    bool phoneOn(const SideWidgets& side) const;
    void showFunction();
    void writeBack();

    AppContext& context_;
    FolderChooser chooseFolder_;
    DialogRunner runDialog_;
    SideWidgets a_;
    SideWidgets b_;
    QLabel* summary_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPushButton* showFunction_ = nullptr;
    QPushButton* writeBack_ = nullptr;
    std::vector<SeemRecordDiff> diffs_;
    std::vector<RowBit> rows_;
    bool phoneSideA_ = false;  // of the last comparison
    bool phoneSideB_ = false;
};

}  // namespace mdk
