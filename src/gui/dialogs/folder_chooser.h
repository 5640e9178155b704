#pragma once
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace mdk {

class Prompter;

// The folder the user picks or types, starting in startFolder; nullopt on Cancel. A typed
// folder may not exist yet. Tests put their own in its place.
using FolderChooser = std::function<std::optional<std::string>(const std::string& title,
                                                               const std::string& startFolder)>;

// The desktop's folder dialog, starting in startFolder. A typed name that does not exist
// yet is handed back as it is (the file dialog itself only takes existing folders).
std::optional<std::string> chooseFolderWithDialog(QWidget* parent, const std::string& title,
                                                  const std::string& startFolder);

// A folder that does not exist is made after a question; a refusal or a failure (told in
// a box) is false.
bool makeFolderIfMissing(Prompter& prompter, const std::string& title, const std::string& folder);

}  // namespace mdk
