#include "gui/dialogs/attributes_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/prompter.h"
#include "gui/controls/fonts.h"

namespace mdk {

namespace {

QLabel* label(QWidget* parent, const QString& text, int id, bool listFontToo) {
    auto* widget = new QLabel(text, parent);
    if (id) widget->setObjectName(QString::number(id));
    if (listFontToo) widget->setFont(listFont());
    return widget;
}

std::string phonePathOf(const std::string& folderText, const std::string& name) {
    const size_t slash = folderText.find('/');
    const std::string folder = slash == std::string::npos ? "/" : folderText.substr(slash);
    return folder + name;
}

}  // namespace

AttributesDialog::AttributesDialog(const AttributeText& parts, const std::string& fileName,
                                   const std::string& folderText, AttributeState& state,
                                   AttributeWriter writer, Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      state_(state),
      writer_(std::move(writer)),
      prompter_(prompter),
      path_(phonePathOf(folderText, fileName)) {
    setObjectName("1400");
    setWindowTitle("Marrowdeck, setting attributes");
    state_.catalogueWord = catalogueWordOf(parts);
    state_.value = parseHex(parts.digits).value_or(0);

    auto* layout = new QGridLayout(this);
    layout->addWidget(label(this, "Filename:", 1414, false), 0, 0);
    layout->addWidget(label(this, QString::fromStdString(fileName), 1415, true), 0, 1, 1, 2);
    layout->addWidget(label(this, "Attributes:", 1402, true), 1, 0);
    edit_ = new QLineEdit(QString::fromStdString(parts.digits), this);
    edit_->setObjectName("1403");
    edit_->setFont(listFont());
    edit_->setMaxLength(243);
    layout->addWidget(edit_, 1, 1);
    layout->addWidget(label(this, "Owner info:", 1410, true), 2, 0);
    layout->addWidget(label(this, QString::fromStdString(parts.owner), 1411, true), 2, 1);
    layout->addWidget(
        label(this, "07: USB cable   16: Bluetooth  0E: Camera   2A: Microphone", 1412, false), 3,
        0, 1, 3);
    int row = 4;
    for (size_t i = 0; i < attributeBits().size(); ++i) {
        const AttributeBit& bit = attributeBits()[i];
        boxes_[i] = new QCheckBox(bit.text, this);
        boxes_[i]->setObjectName(QString::number(bit.controlId));
        boxes_[i]->setChecked((state_.value & bit.mask) != 0);
        connect(boxes_[i], &QCheckBox::clicked, this, [this, i] { toggle(i); });
        layout->addWidget(boxes_[i], row++, 0, 1, 3);
    }
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("1401");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("1404");
    auto* all = new QPushButton("All selected", this);
    all->setObjectName("1413");
    all->hide();
    layout->addWidget(ok, row, 0);
    layout->addWidget(cancel, row, 1);
    connect(ok, &QPushButton::clicked, this, &AttributesDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    edit_->setFocus();
}

void AttributesDialog::toggle(size_t bit) {
    state_.value ^= attributeBits()[bit].mask;
    showValue();
}

void AttributesDialog::showValue() {
    edit_->setText(QString::fromStdString(lastFourHex(state_.value)));
}

void AttributesDialog::accept() {
    const auto value = parseHex(edit_->text().trimmed().toStdString());
    if (!value) {
        prompter_.ask({"Marrowdeck, setting attributes",
                       "The attribute value must be 1 to 8 hexadecimal digits.", PromptButtons::Ok,
                       PromptIcon::Warning});
        edit_->setFocus();
        return;
    }
    state_.value = *value;
    if (writer_) writer_(path_, state_.value, state_.catalogueWord);
    QDialog::accept();
}

}  // namespace mdk
