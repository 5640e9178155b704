#pragma once
#include <QDialog>
#include <functional>
#include <string>

#include "seem/seem_function_table.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableWidget;

namespace mdk {

class CommandSet;
class Prompter;

// Dialog 1850, "Seem Functions": the seem function catalogue as a table with each bit's
// state on the phone, a search of the descriptions, bit toggles in the record copies, and
// Write seems / Discard changes. Commands arrive by id (buttons, the context menu, the
// status check box); ids the dialog does not know are ignored.
class SeemFunctionsDialog final : public QDialog {
    Q_OBJECT
public:
    enum Id {
        kTable = 1851,
        kSearchBox = 1852,
        kSearch = 1853,
        kSeemValue = 1855,
        kRecordValue = 1857,
        kOffsetValue = 1859,
        kBitValue = 1861,
        kStatus = 1863,
        kWrite = 1864,
        kClose = 1865,
        kActualByte = 1867,
        kDiscard = 1868,
        kSet = 1869,
        kMenuWrite = 11001,
        kMenuDiscard = 11002,
        kMenuToggle = 11003,
    };
    static constexpr const char* kNotFoundTitle = "Seem function not found";

    // linkOpen tells whether a phone link is open; the catalogue file is taken from
    // programFolder for the framing in use.
    SeemFunctionsDialog(CommandSet& commands, std::string programFolder,
                        std::function<bool()> linkOpen, Prompter& prompter,
                        QWidget* parent = nullptr);

    const SeemFunctionTable& table() const { return table_; }
    int searchPosition() const { return searchPosition_; }
    QMenu* contextMenu() const { return menu_; }

public slots:
    // One command by id, as a button, menu item or the check box sends it.
    void command(int id);
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildTable();
    QWidget* buildSidePanel();
    void buildContextMenu();
    void loadCatalogue();
    void fillRow(int row);
    void showSelection(int row);
    void toggleFocused();
    void search();
    void writeSeems();
    void discardChanges();
    // Loads the catalogue afresh and selects row again.
    void reloadAt(int row);
    void closeDialog();
    void setChangeButtons(bool enabled);
    int focusedRow() const;

    CommandSet& commands_;
    std::string programFolder_;
    std::function<bool()> linkOpen_;
    Prompter& prompter_;
    SeemFunctionTable table_;
    int searchPosition_ = -1;

    QTableWidget* list_ = nullptr;
    QLineEdit* searchBox_ = nullptr;
    QLabel* values_[4] = {};
    QLabel* statusLabel_ = nullptr;
    QCheckBox* status_ = nullptr;
    QLabel* actualLabel_ = nullptr;
    QLineEdit* actual_ = nullptr;
    QPushButton* write_ = nullptr;
    QPushButton* discard_ = nullptr;
    QMenu* menu_ = nullptr;
};

}  // namespace mdk
