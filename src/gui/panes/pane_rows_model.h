#pragma once
#include <QAbstractTableModel>
#include <QIcon>
#include <array>
#include <functional>
#include <vector>

#include "panes/pane_types.h"

namespace mdk {

// The icon of a plain file or folder row: the desktop's, or the style's when the desktop
// has none.
QIcon standardRowIcon(bool folder);

// The three columns of a pane over the core's rows. The rows stay in the core; the
// model is reset after every listing or sort.
class PaneRowsModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PaneRowsModel(std::vector<PaneRow>& rows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The rows changed wholesale (listed or sorted).
    void reload();
    void setHeaderText(int column, const QString& text);
    QString headerText(int column) const { return headers_[static_cast<size_t>(column)]; }
    // Image of the header strip shown with a column's text (0 none, 1 down, 2 up).
    void setHeaderImage(int column, int image);
    int headerImage(int column) const { return images_[static_cast<size_t>(column)]; }
    // The small icon of a row (phone rows supply their own).
    void setIconProvider(std::function<QIcon(const PaneRow&)> provider);

private:
    std::vector<PaneRow>& rows_;
    std::array<QString, 3> headers_;
    std::array<int, 3> images_{2, 0, 0};
    std::function<QIcon(const PaneRow&)> icon_;
};

}  // namespace mdk
