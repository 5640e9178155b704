#include "gui/dialogs/options_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "gui/controls/fonts.h"

namespace mdk {

using namespace options;

namespace {

// Wide enough for a filter pattern or an address.
constexpr int kEditWidth = 130;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QGroupBox* frame(QWidget* parent, const char* title, QGridLayout*& layout) {
    auto* box = new QGroupBox(QString::fromLatin1(title), parent);
    layout = new QGridLayout(box);
    return box;
}

// Radio buttons in one exclusive group; onClick gets the value of the clicked one.
void addRadios(QWidget* parent, QGridLayout* layout, std::span<const Radio> radios,
               int32_t checkedValue, int firstRow, std::function<void(int32_t)> onClick) {
    auto* group = new QButtonGroup(parent);
    int row = firstRow;
    for (const Radio& radio : radios) {
        auto* button = new QRadioButton(QString::fromLatin1(radio.text), parent);
        button->setObjectName(QString::number(radio.id));
        button->setChecked(radio.value == checkedValue);
        group->addButton(button);
        const int32_t value = radio.value;
        QObject::connect(button, &QRadioButton::clicked, parent,
                         [onClick, value] { onClick(value); });
        layout->addWidget(button, row++, 0, 1, 2);
    }
}

}  // namespace

OptionsDialog::OptionsDialog(ConfigRecord& config, std::function<std::string(int)> message,
                             AcceptHandler onOk, QWidget* parent)
    : QDialog(parent),
      config_(config),
      message_(std::move(message)),
      onOk_(std::move(onOk)),
      modeAtOpening_(config.connectionMode),
      workingMode_(config.connectionMode) {
    setObjectName(QString::number(kDialog));
    setWindowTitle("Marrowdeck options");
    setFont(dialogFont());

    auto* grid = new QGridLayout(this);
    grid->addWidget(modeFrame(), 0, 0);
    grid->addWidget(tuningFrame(), 1, 0);
    grid->addWidget(manualFrame(), 0, 1);
    grid->addWidget(miscFrame(), 1, 1);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName(QString::number(kOk));
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName(QString::number(kCancel));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 2, 0, 1, 2);
    connect(ok, &QPushButton::clicked, this, &OptionsDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    addTooltips();
    slider_->setFocus();
    sliderMoved(slider_->value());
}

QWidget* OptionsDialog::modeFrame() {
    QGridLayout* layout = nullptr;
    QGroupBox* box = frame(this, "Mode", layout);
    addRadios(this, layout, modeRadios(), config_.connectionMode, 0,
              [this](int32_t mode) { workingMode_ = mode; });
    int row = static_cast<int>(modeRadios().size());
    layout->addWidget(new QLabel("USBLAN switch command:", box), row++, 0, 1, 2);
    addEdit(layout, kUsblanCommand, config_.usblanSwitchCommand, row++, 0);
    addCheckBox(layout, 1518, row, 0);
    addEdit(layout, kIp, config_.usblanIp, row++, 1)->setPlaceholderText("192.168.16.2");
    layout->addWidget(new QLabel("Smb/Ftp Drive:", box), row, 0);
    auto* drive = new QLineEdit("Z:", box);
    drive->setObjectName(QString::number(kDriveField));
    drive->setReadOnly(true);
    layout->addWidget(drive, row, 1);
    return box;
}

QWidget* OptionsDialog::tuningFrame() {
    QGridLayout* layout = nullptr;
    QGroupBox* box = frame(this, "P2k tuning", layout);
    // The command set changes at the click, as the check boxes do.
    addRadios(this, layout, commandSetRadios(), config_.commandSet, 0,
              [this](int32_t value) { config_.commandSet = value; });
    return box;
}

QWidget* OptionsDialog::manualFrame() {
    QGridLayout* layout = nullptr;
    QGroupBox* box = frame(this, "Manual settings (autodetect off)", layout);
    const Edits edits = editsFrom(config_);
    int row = 0;
    addCheckBox(layout, 1563, row, 0);
    addEdit(layout, kFilter, edits.filter, row++, 1);
    addCheckBox(layout, 1564, row, 0);
    addEdit(layout, kComPort, edits.comPort, row++, 1)->setPlaceholderText("COM9");
    addCheckBox(layout, 1566, row, 0);
    addEdit(layout, kInterfaceIndex, edits.interfaceIndex, row++, 1);
    addCheckBox(layout, 1571, row, 0);
    addEdit(layout, kVolume, edits.fourthSlotVolume, row++, 1);
    addCheckBox(layout, 1570, row++, 0);
    addCheckBox(layout, 1514, row++, 0);
    layout->addWidget(new QLabel("(V3xx, V6MAXX, E2...)", box), row++, 0, 1, 2);

    slider_ = new QSlider(Qt::Horizontal, box);
    slider_->setObjectName(QString::number(kSlider));
    slider_->setRange(kSliderMin, kSliderMax);
    slider_->setTickInterval(kSliderTick);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setValue(sliderPosition(config_.fileCountLimit));
    slider_->hide();
    connect(slider_, &QSlider::valueChanged, this, &OptionsDialog::sliderMoved);
    layout->addWidget(slider_, row, 0);
    sliderLabel_ = new QLabel(box);
    sliderLabel_->setObjectName(QString::number(kSliderLabel));
    sliderLabel_->setFont(dialogFont());
    sliderLabel_->hide();
    layout->addWidget(sliderLabel_, row++, 1);
    addCheckBox(layout, 1560, row++, 0);
    return box;
}

QWidget* OptionsDialog::miscFrame() {
    QGridLayout* layout = nullptr;
    QGroupBox* box = frame(this, "Miscellaneous options:", layout);
    int row = 0;
    for (int id : {1510, 1561, 1562, 1565}) addCheckBox(layout, id, row++, 0);
    return box;
}

QAbstractButton* OptionsDialog::addCheckBox(QGridLayout* layout, int id, int row, int column) {
    const CheckBox* entry = checkBox(id);
    auto* box = new QCheckBox(QString::fromLatin1(entry->text), layout->parentWidget());
    box->setObjectName(QString::number(id));
    box->setChecked(((config_.*entry->flag) != 0) != entry->inverted);
    box->setVisible(!entry->hidden);
    connect(box, &QCheckBox::clicked, this, [this, id] { toggle(id); });
    layout->addWidget(box, row, column);
    return box;
}

QLineEdit* OptionsDialog::addEdit(QGridLayout* layout, int id, const std::string& text, int row,
                                  int column) {
    auto* edit = new QLineEdit(qs(text), layout->parentWidget());
    edit->setObjectName(QString::number(id));
    edit->setMinimumWidth(kEditWidth);
    layout->addWidget(edit, row, column, 1, column == 0 ? 2 : 1);
    edits_[id] = edit;
    return edit;
}

void OptionsDialog::addTooltips() {
    for (const Tooltip& tip : tooltips()) {
        QWidget* control = findChild<QWidget*>(QString::number(tip.id));
        if (control && message_) control->setToolTip(qs(message_(tip.message)));
    }
}

void OptionsDialog::toggle(int id) {
    const CheckBox* entry = checkBox(id);
    int32_t& flag = config_.*entry->flag;
    flag = flag ? 0 : 1;
    auto* box = findChild<QCheckBox*>(QString::number(id));
    box->setChecked((flag != 0) != entry->inverted);
    if (flagClicked_) flagClicked_(entry->flag);
}

void OptionsDialog::sliderMoved(int position) {
    const SliderReading reading =
        readSlider(position, message_ ? message_(kMsgNoLimit) : std::string());
    sliderLabel_->setText(qs(reading.label));
    workingLimit_ = reading.limit;
}

void OptionsDialog::accept() {
    Choice choice;
    auto text = [this](int id) { return edits_.at(id)->text().toStdString(); };
    choice.edits.filter = text(kFilter);
    choice.edits.comPort = text(kComPort);
    choice.edits.fourthSlotVolume = text(kVolume);
    choice.edits.interfaceIndex = text(kInterfaceIndex);
    choice.edits.usblanSwitchCommand = text(kUsblanCommand);
    choice.edits.usblanIp = text(kIp);
    choice.mode = workingMode_;
    choice.fileCountLimit = workingLimit_;
    QDialog::accept();
    if (onOk_) onOk_(choice, modeAtOpening_);
}

}  // namespace mdk
