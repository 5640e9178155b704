#pragma once
#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "panes/pane_types.h"

class QLineEdit;
class QPushButton;

namespace mdk {

class AppContext;
class PcPanes;
class PhoneSource;
class PaneList;
class PaneRowsModel;
class LocationCombo;

// The widgets of one pane.
struct PaneWidgets {
    PaneList* list = nullptr;
    LocationCombo* combo = nullptr;
    QLineEdit* path = nullptr;
    QPushButton* reread = nullptr;
};

// The view side of one pane: keeps its combo, path field and list in step with the core
// pane state (PaneSet, PcPanes) on the GUI thread, and turns the pane's own user actions
// (location chosen, row activated, column clicked, re-read) into core calls. The phone
// side is reached through a PhoneSource.
class PaneController final : public QObject {
    Q_OBJECT
public:
    PaneController(Side side, AppContext& context, PcPanes& pc, PaneWidgets widgets,
                   int& rememberedColumn0, QObject* parent = nullptr);

    Side side() const { return side_; }
    const PaneWidgets& widgets() const { return widgets_; }
    PaneRowsModel* model() const { return model_; }

    void setPhoneSource(PhoneSource* source) { phone_ = source; }
    // Opens a file with the desktop's default program.
    void setShellOpener(std::function<void(const std::string&)> opener) {
        shellOpen_ = std::move(opener);
    }

    // Columns, header texts (messages 43, 44, 46), widths 140, 68, 120 and header images.
    void setupColumns();
    // The combo from the core's location entries, showing the pane's location index.
    void refillCombo();
    // The path field from the core's path text; its undo history is emptied.
    void showPath();
    // The list from the core's rows (after a listing or a sort).
    void showRows();
    // Rows renumbered, then focusRow(focusIndex).
    void renumberAndFocus();
    // Focus to the list; row index alone selected and focused (none beyond the last row).
    void focusRow(int index);
    // Sorts the rows in the pane's order (nameSortMode, or the size order the user chose
    // on this pane since its last listing of its own), then renumbers and focuses.
    void sortRenumberFocus();
    void setColumn0Width(int width);

    // A confirmed selection in the location combo.
    void chooseLocation(int index);
    // The pane's re-read button (the main window dispatches its clicks here); a size
    // order ends here, as with every listing the user asks for.
    void reread();
    // Lists the pane's location again after a transfer into it; a size order is kept.
    void relist();
    // Enter or double click on the focused row.
    void activateFocusedRow();
    void clickColumn(int column);
    // Backspace: row 0 focused, selected and activated when the pane lies below its root.
    bool goParent();
    // Numpad 0: the focused row becomes selected, the focus alone moves to the next row.
    void markRowAndAdvance();

    QString focusedName() const;
    int focusedRow() const;
    std::vector<int> selectedRows() const;

signals:
    void notified(mdk::Side side);
    void rowActivated(mdk::Side side);
    void filesDropped(mdk::Side side, const QStringList& files);

private:
    void showPcLocation();
    // Column 2's header (message 46) and the widths of a PC listing.
    void showPcColumns();

    Side side_;
    AppContext& context_;
    PcPanes& pc_;
    PaneWidgets widgets_;
    int& rememberedColumn0_;
    PaneRowsModel* model_;
    PhoneSource* phone_ = nullptr;
    std::function<void(const std::string&)> shellOpen_;
    std::optional<int32_t> sizeSortMode_;
};

}  // namespace mdk
