#include "panes/pane_rows.h"

#include "p2k/file_transfer.h"

namespace mdk {

PaneRow parentRow(std::string path) {
    PaneRow row;
    row.kind = RowKind::Parent;
    row.name = "..";
    row.path = std::move(path);
    row.sizeText = kDirSizeText;
    return row;
}

PaneRow pcRow(const std::string& name, const std::string& path, bool folder, uint64_t size,
              std::time_t modified, const DateFormatter& dateText) {
    PaneRow row;
    row.kind = name == ".." ? RowKind::Parent : (folder ? RowKind::Folder : RowKind::File);
    row.name = name;
    row.path = path;
    row.size = folder ? 0 : size;
    row.modified = modified;
    row.sizeText = folder ? kDirSizeText : sizeText(size);
    row.detailText = dateText(modified);
    return row;
}

PaneRow phoneRow(const PhoneRow& listed, const std::string& path) {
    PaneRow row;
    row.kind = listed.folder ? RowKind::Folder : RowKind::File;
    row.name = listed.name;
    row.path = path;
    row.size = listed.folder ? 0 : listed.size;
    row.unlisted = !listed.folder && listed.size == kUnlistedFileSize;
    row.attributes = listed.attributes;
    row.sizeText = listed.folder ? kDirSizeText : std::to_string(listed.size);
    row.detailText = listed.attributeText;
    return row;
}

PaneRow seemRow(const std::string& name, const std::string& category) {
    PaneRow row;
    row.kind = RowKind::Seem;
    row.name = name;
    row.sizeText = kSeemSizeText;
    row.detailText = category;
    return row;
}

PaneRow seemRecordRow(const std::string& name, uint32_t length) {
    PaneRow row;
    row.kind = RowKind::SeemRecord;
    row.name = name;
    row.size = length;
    row.sizeText = std::to_string(length);
    return row;
}

uint32_t rowOpenMode(const PaneRow& row, bool usblanMode) {
    return phoneOpenMode(row.attributes, usblanMode);
}

uint32_t rowDownloadSize(const PaneRow& row) {
    return static_cast<uint32_t>(row.size);
}

uint32_t rowSortSize(const PaneRow& row) {
    return row.isFolder() ? 0 : static_cast<uint32_t>(row.size);
}

}  // namespace mdk
