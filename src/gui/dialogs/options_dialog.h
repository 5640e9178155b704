#pragma once
#include <QDialog>
#include <functional>
#include <map>
#include <string>

#include "app/options.h"

class QAbstractButton;
class QGridLayout;
class QLabel;
class QLineEdit;
class QSlider;
class QWidget;

namespace mdk {

// Dialog 1500, "Marrowdeck options": shows and edits the configuration record. Check
// boxes and the P2k tuning buttons change their record fields at the click; the mode
// buttons choose a working mode that only OK applies. OK hands the edits and the working
// values to the accept handler; Cancel, Escape and the close box apply nothing more.
class OptionsDialog final : public QDialog {
    Q_OBJECT
public:
    // message: the text of a numbered message; onOk: what OK applies, given the choice
    // and the mode at the dialog's opening.
    using AcceptHandler = std::function<void(const options::Choice&, int32_t modeAtOpening)>;

    OptionsDialog(ConfigRecord& config, std::function<std::string(int)> message, AcceptHandler onOk,
                  QWidget* parent = nullptr);

    // Told of every check box click, after the record's flag has changed.
    using FlagClicked = std::function<void(int32_t ConfigRecord::*flag)>;
    void setFlagClicked(FlagClicked onClick) { flagClicked_ = std::move(onClick); }

    int32_t workingMode() const { return workingMode_; }
    int32_t workingLimit() const { return workingLimit_; }

public slots:
    void accept() override;

private:
    QWidget* modeFrame();
    QWidget* tuningFrame();
    QWidget* manualFrame();
    QWidget* miscFrame();
    QAbstractButton* addCheckBox(QGridLayout* layout, int id, int row, int column);
    QLineEdit* addEdit(QGridLayout* layout, int id, const std::string& text, int row, int column);
    void addTooltips();
    void toggle(int id);
    void sliderMoved(int position);

    ConfigRecord& config_;
    std::function<std::string(int)> message_;
    AcceptHandler onOk_;
    FlagClicked flagClicked_;
    const int32_t modeAtOpening_;
    int32_t workingMode_;
    int32_t workingLimit_ = -1;
    std::map<int, QLineEdit*> edits_;
    QSlider* slider_ = nullptr;
    QLabel* sliderLabel_ = nullptr;
};

}  // namespace mdk
