#include "panes/phone_rows.h"

#include "panes/pane_rows.h"
#include "seem/seem_transfer.h"

namespace mdk {

std::string templateFileName(const std::string& name, bool folder) {
    const std::string marker = folder ? "D" : "_";
    const size_t dot = name.rfind('.');
    return marker + (dot == std::string::npos ? std::string(".") : name.substr(dot));
}

std::vector<PaneRow> phoneFolderRows(const std::vector<PhoneRow>& rows,
                                     const std::string& phoneFolder) {
    std::vector<PaneRow> out;
    out.reserve(rows.size() + 1);
    if (phoneFolder != "/") out.push_back(parentRow(parentPhoneFolder(phoneFolder)));
    for (const PhoneRow& row : rows) {
        PaneRow pane = phoneRow(row, phoneFolder + row.name);
        pane.param = static_cast<uint32_t>(out.size());
        out.push_back(std::move(pane));
    }
    return out;
}

std::string childPhoneFolder(const std::string& phoneFolder, const std::string& name) {
    std::string folder = phoneFolder.empty() ? "/" : phoneFolder;
    if (folder.back() != '/') folder += '/';
    return folder + name + "/";
}

std::string parentPhoneFolder(const std::string& phoneFolder) {
    if (phoneFolder.size() <= 1) return "/";
    // Pass over the closing "/", cut after the "/" before it.
    const size_t slash = phoneFolder.rfind('/', phoneFolder.size() - 2);
    return slash == std::string::npos ? "/" : phoneFolder.substr(0, slash + 1);
}

std::string phoneFolderOfPath(const std::string& pathText) {
    const size_t slash = pathText.find('/');
    return slash == std::string::npos ? "/" : pathText.substr(slash);
}

std::optional<SeemAddress> seemRowAddress(const std::string& rowName) {
    if (rowName.size() < 9 || rowName[4] != '_') return std::nullopt;
    const auto seem = seemNumberOf(rowName.substr(0, 4));
    const auto record = seemNumberOf(rowName.substr(5, 4));
    if (!seem || !record) return std::nullopt;
    return SeemAddress{*seem, *record};
}

bool usableFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace mdk
