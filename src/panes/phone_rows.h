#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "p2k/catalogue.h"
#include "panes/pane_types.h"
#include "seem/seem_file.h"

namespace mdk {

// The rows and folder texts of a pane that shows the phone or its seem folder.

inline constexpr const char* kPhonePathPrefix = "P2k:";
inline constexpr const char* kSeemFolderPath = "P2k:/seems/";

// The sample file in programFolder/Templates whose icon a row gets: "D" (folder) or "_"
// (file) followed by the name's extension from its last "." on, or by a single "." when
// the name has none.
std::string templateFileName(const std::string& name, bool folder);
// The sample of a whole seem row: "D" alone.
inline constexpr const char* kSeemTemplate = "D";

// The pane rows of phoneFolder: ".." first unless the folder is "/", then the catalogue's
// rows (phoneRow).
std::vector<PaneRow> phoneFolderRows(const std::vector<PhoneRow>& rows,
                                     const std::string& phoneFolder);

// The folder one level down ("/a/" and "mobile" give "/a/mobile/").
std::string childPhoneFolder(const std::string& phoneFolder, const std::string& name);
// The folder one level up ("/a/mobile/" gives "/a/"; "/" stays "/").
std::string parentPhoneFolder(const std::string& phoneFolder);
// The phone folder of a path field text: from its first "/" on, "/" when it has none.
std::string phoneFolderOfPath(const std::string& pathText);

// The seem and record of a record row ("0032_0001.seem"): characters 1-4 and 6-9 read as
// hexadecimal, without the range rule of seem file names (record 255 can be opened).
std::optional<SeemAddress> seemRowAddress(const std::string& rowName);

// A row name that can name one file or folder (in the Temp folder, a PC folder, a new
// folder): not empty, not "." or "..", no "/" and no zero byte.
bool usableFileName(const std::string& name);

}  // namespace mdk
