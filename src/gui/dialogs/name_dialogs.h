#pragma once
#include <QDialog>
#include <optional>
#include <string>

class QLineEdit;
class QLabel;

namespace mdk {

// Dialog 1100: asks for the name of a new folder. OK gives the text (at most 254
// characters); Cancel and the close box give nothing, and the caller ends the command.
class NewFolderDialog final : public QDialog {
    Q_OBJECT
public:
    explicit NewFolderDialog(QWidget* parent = nullptr);
    static std::optional<std::string> ask(QWidget* parent);
    std::optional<std::string> answer() const;

private:
    QLineEdit* edit_;
};

// Dialog 1300: shows the file to copy and proposes a target path to edit. OK gives the
// edited path (at most 254 characters); Cancel and the close box give nothing, and the
// caller cancels that copy.
class CopyTargetDialog final : public QDialog {
    Q_OBJECT
public:
    CopyTargetDialog(const std::string& fileName, const std::string& proposedTarget,
                     QWidget* parent = nullptr);
    static std::optional<std::string> ask(QWidget* parent, const std::string& fileName,
                                          const std::string& proposedTarget);
    std::optional<std::string> answer() const;

private:
    QLineEdit* edit_;
};

}  // namespace mdk
