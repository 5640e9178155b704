#pragma once
#include <QDialog>
#include <array>
#include <string>

#include "panes/attribute_logic.h"

class QCheckBox;
class QLineEdit;
class QLabel;

namespace mdk {

class Prompter;

// Dialog 1400: the attributes of one phone file. Opens with the parts of the row's attribute word
// and name; the five check boxes toggle their bits in the attribute value; OK reads the edit as the
// new value and hands path, value and catalogue word to the writer.
class AttributesDialog final : public QDialog {
    Q_OBJECT
public:
    // folderText: the pane's path field ("P2k:/a/mobile/"); the phone path starts at its
    // first "/".
    AttributesDialog(const AttributeText& parts, const std::string& fileName,
                     const std::string& folderText, AttributeState& state, AttributeWriter writer,
                     Prompter& prompter, QWidget* parent = nullptr);

    // The full phone path the dialog works on.
    std::string phonePath() const { return path_; }

public slots:
    void accept() override;

private:
    void toggle(size_t bit);
    void showValue();

    AttributeState& state_;
    AttributeWriter writer_;
    Prompter& prompter_;
    std::string path_;
    QLineEdit* edit_;
    std::array<QCheckBox*, 5> boxes_{};
};

}  // namespace mdk
