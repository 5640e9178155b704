#include "gui/panes/phone_pane.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QStyle>
#include <memory>

#include "app/app_context.h"
#include "base/message_ids.h"
#include "device/device_connection.h"
#include "gui/panes/location_combo.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/pane_host.h"
#include "gui/panes/pane_list.h"
#include "gui/panes/pane_rows_model.h"
#include "gui/panes/worker_runner.h"
#include "p2k/file_transfer.h"
#include "panes/pane_rows.h"
#include "panes/pc_panes.h"
#include "panes/phone_rows.h"
#include "platform/outside_programs.h"
#include "platform/safe_file.h"

namespace mdk {

namespace {

constexpr int kDetailWidth = 120;

}  // namespace

PhonePane::PhonePane(AppContext& context, PaneHost& host, WorkerRunner& workers)
    : context_(context), host_(host), workers_(workers) {
    for (Side side : {Side::Left, Side::Right}) {
        host_.pane(side).model()->setIconProvider(
            [this, side](const PaneRow& row) { return rowIcon(side, row); });
    }
}

// --- PhoneSource ---

bool PhonePane::selectPhoneLocation(Side side, uint32_t index) {
    if (index == kSeemEntry) {
        chooseSeemFolder(side);
        return true;
    }
    return index > kSeemEntry || choosePhoneVolume(side, index);
}

void PhonePane::rereadPhone(Side side) {
    if (workers_.refuseIfBusy("Re-read")) return;
    if (!attachPass(side)) return;
    context_.catalogue.attachPhone();
    showVolumeEntry(side);
    context_.catalogue.setCatalogueLoaded(false);
    listPhoneFolder(side);
}

void PhonePane::showPhoneFolder(Side side) {
    if (context_.panes.kind(side) == LocationKind::SeemFolder) {
        // The records of a seem are read from the phone; only the seem list is rebuilt.
        if (context_.panes.seemFolderShown) listSeems(side);
        return;
    }
    listPhoneFolder(side);
}

void PhonePane::activatePhoneRow(Side side, const std::string& name) {
    PaneSet& panes = context_.panes;
    if (panes.kind(side) == LocationKind::SeemFolder) {
        if (panes.seemFolderShown) {
            listSeemRecords(side, name);
        } else if (name == "..") {
            listSeems(side);
            panes.seemFolderShown = true;
        } else {
            editSeemRecord(name);
        }
        return;
    }
    const PaneRow* row = findRow(side, name);
    if (!row) return;
    const std::string folder = panes.phoneFolder(side);
    if (row->kind == RowKind::Parent) {
        panes.setPhoneFolder(side, parentPhoneFolder(folder));
    } else if (row->isFolder()) {
        panes.setPhoneFolder(side, childPhoneFolder(folder, name));
    } else {
        openPhoneFile(side, *row);
        return;
    }
    panes.setPathText(side, kPhonePathPrefix + panes.phoneFolder(side));
    listPhoneFolder(side);
}

// --- Volumes and listings ---

bool PhonePane::choosePhoneVolume(Side side, uint32_t index) {
    if (workers_.refuseIfBusy("Volume choice")) return false;
    PaneSet& panes = context_.panes;
    context_.catalogue.setCatalogueLoaded(false);
    panes.phoneVolumeIndex = index;
    setDetailHeader(side, msg::kPhoneDetailHeader);
    host_.pane(side).setColumn0Width(host_.rememberedColumn0());
    panes.setPathText(side, kPhonePathPrefix + panes.phoneFolder(side));
    if (!attachPass(side)) {
        // Without a phone the pane must not keep PC rows under a phone path.
        if (context_.driver.linkHandle() == 0) {
            turnIntoPcPane(side);
        } else {
            panes.rows(side) = phoneFolderRows({}, panes.phoneFolder(side));
        }
        return true;
    }
    context_.catalogue.attachPhone();
    showVolumeEntry(side);
    const bool hasFiles = context_.catalogue.reportedCount() != 0;
    const bool cdmaLeft = side == Side::Left && context_.commands.cdmaPhone();
    if (hasFiles || cdmaLeft) {
        listPhoneFolder(side);
    } else {
        // An empty volume: no rows of the previous location stay behind.
        panes.rows(side) = phoneFolderRows({}, panes.phoneFolder(side));
    }
    return true;
}

bool PhonePane::attachPass(Side side) {
    if (!connection_) return context_.driver.linkHandle() != 0;
    LinkState& link = context_.link;
    link.modemProbeCount = 0;
    DeviceConnection* connection = connection_;
    std::function<void()> pass = [connection] { connection->attachP2k(); };
    if (context_.runSettings.read().usblanP2k05()) {
        auto entry = context_.panes.entry(side, context_.panes.phoneVolumeIndex.load());
        const std::string mask = entry ? entry->text : std::string("/a/*.*");
        context_.runSettings.change([&mask](RunValues& values) { values.searchPattern = mask; });
        context_.log.logLine("Reading filesystem from:");
        context_.log.logLine(mask);
        pass = [connection] { connection->attachUsblan(); };
    }
    // A phone that stopped answering can hold the pass for the whole reply wait: it runs
    // on the worker, so the window keeps drawing behind the wait dialog.
    if (!workers_.run("Attach", std::move(pass))) return false;
    return !workers_.busy() && link.phoneConnected.load() == 1 && context_.driver.linkHandle() != 0;
}

void PhonePane::showVolumeEntry(Side side) {
    const uint32_t index = context_.panes.phoneVolumeIndex.load();
    if (index < kSeemEntry) context_.panes.setLocationIndex(side, index);
    host_.pane(side).widgets().combo->setCurrentIndex(static_cast<int>(index));
}

void PhonePane::setDetailHeader(Side side, int message) {
    PaneController& pane = host_.pane(side);
    pane.model()->setHeaderText(
        2, QString::fromStdString(std::string(context_.messages.text(message))));
    pane.widgets().list->header()->resizeSection(2, kDetailWidth);
}

void PhonePane::turnIntoPcPane(Side side) {
    context_.panes.setLocationIndex(side, kFallbackEntry);
    setDetailHeader(side, msg::kDateHeader);
    host_.pane(side).widgets().combo->setCurrentIndex(static_cast<int>(kFallbackEntry));
    host_.pcPanes().selectPcLocation(side, kFallbackEntry);
    // The path field and the rows always show the same location.
    host_.pane(side).showPath();
    host_.pane(side).showRows();
}

void PhonePane::listPhoneFolder(Side side) {
    if (context_.driver.linkHandle() == 0) {
        turnIntoPcPane(side);
        return;
    }
    Catalogue& catalogue = context_.catalogue;
    // A record the catalogue could not take asked for a reload of the volume.
    if (catalogue.needsReload()) catalogue.setCatalogueLoaded(false);
    if (!catalogue.catalogueLoaded() && !workers_.busy()) {
        // A loader still running (its dialog closed early) is never started twice; the
        // listing then shows what it has read so far.
        workers_.run("Reading the phone's files", [&catalogue] { catalogue.loadCatalogue(); });
    }
    const std::string folder = context_.panes.phoneFolder(side);
    context_.panes.rows(side) = phoneFolderRows(catalogue.listFolder(folder), folder);
    if (!workers_.busy()) catalogue.setCatalogueLoaded(true);
}

const PaneRow* PhonePane::findRow(Side side, const std::string& name) const {
    for (const PaneRow& row : context_.panes.rows(side)) {
        if (row.name == name) return &row;
    }
    return nullptr;
}

// --- Opening phone files ---

std::string PhonePane::tempFolder() const {
    return context_.programFile("Temp");
}

void PhonePane::downloadToTemp(Side side, const PaneRow& row,
                               std::function<void(std::string)> then) {
    if (row.isFolder() || !usableFileName(row.name)) {
        context_.log.logLine("Not a phone file: " + row.name);
        return;
    }
    auto reason = std::make_shared<std::optional<std::string>>();
    const std::string phonePath = context_.panes.phoneFolder(side) + row.name;
    const PhoneDownload file{phonePath, rowOpenMode(row, context_.runSettings.read().usblanP2k05()),
                             rowDownloadSize(row)};
    const std::string target = tempFolder() + "/" + row.name;
    CommandSet& commands = context_.commands;
    EventLog& log = context_.log;
    workers_.run(
        "Download " + phonePath,
        [reason, &commands, file, target] {
            std::string error;
            if (!makeFolders(target.substr(0, target.rfind('/')), error) ||
                !downloadPhoneFileToPc(commands, file, target, ExistingFile::Replace, error)) {
                *reason = error;
            }
        },
        [reason, &log, phonePath, then = std::move(then), target] {
            if (*reason) {
                log.logLine("Download of " + phonePath + " failed (" + **reason + ").");
                log.logLine("Download failed, nothing opened: " + phonePath);
                return;
            }
            then(target);
        });
}

std::vector<std::string> PhonePane::viewers() const {
    return OutsidePrograms::viewers(context_.programFolder, editors_.textEditor);
}

void PhonePane::openPhoneFile(Side side, const PaneRow& row) {
    const std::vector<std::string> programs = viewers();
    EventLog& log = context_.log;
    downloadToTemp(side, row, [programs, &log](const std::string& path) {
        if (!startFirstOf(programs, path)) log.logLine("Cannot open " + path);
    });
}

std::string PhonePane::hexEditor() const {
    return OutsidePrograms::hexEditor(context_.programFolder, editors_.hexEditor);
}

bool PhonePane::editAndWait(const std::string& editor, const std::string& path) {
    if (editor.empty()) {
        context_.log.logLine(
            "No hex editor found: install ghex or okteta, or set "
            "MARROWDECK_HEX_EDITOR.");
        return false;
    }
    const FileStamp before = stampOf(path);
    host_.hostWindow().showMinimized();
    const int status = runAndWait(editor, path);
    host_.hostWindow().showNormal();
    if (status < 0) {
        context_.log.logLine("Cannot start " + editor);
        return false;
    }
    return !(stampOf(path) == before);
}

// --- Icons ---

QIcon PhonePane::templateIcon(const std::string& sampleName) const {
    auto found = icons_.find(sampleName);
    if (found != icons_.end()) return found->second;
    const QFileInfo sample(QString::fromStdString(context_.programFile("Templates/" + sampleName)));
    QIcon icon;
    if (sample.exists()) icon = QFileIconProvider().icon(sample);
    if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    icons_.emplace(sampleName, icon);
    return icon;
}

QIcon PhonePane::rowIcon(Side side, const PaneRow& row) const {
    const LocationKind kind = context_.panes.kind(side);
    // Phone folders show the folder icon, as PC folders do.
    if (kind == LocationKind::Pc || row.name == ".." ||
        (kind == LocationKind::PhoneVolume && row.isFolder())) {
        return standardRowIcon(row.isFolder());
    }
    if (kind == LocationKind::SeemFolder && row.kind == RowKind::Seem) {
        return templateIcon(kSeemTemplate);
    }
    return templateIcon(templateFileName(row.name, row.isFolder()));
}

}  // namespace mdk
