// The seem folder of a phone pane and files dropped onto a phone pane.
#include <QHeaderView>

#include "app/app_context.h"
#include "base/message_ids.h"
#include "gui/panes/location_combo.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/pane_host.h"
#include "gui/panes/pane_list.h"
#include "gui/panes/pane_rows_model.h"
#include "gui/panes/phone_pane.h"
#include "gui/panes/worker_runner.h"
#include "p2k/command_set.h"
#include "p2k/file_transfer.h"
#include "panes/pane_rows.h"
#include "panes/phone_rows.h"
#include "platform/safe_file.h"
#include "seem/seem_file.h"
#include "seem/seem_transfer.h"

namespace mdk {

namespace {

constexpr int kSeemNameWidth = 132;
constexpr const char* kWarning = "Warning";
constexpr const char* kInvalidSeemName = "Invalid seem filename Must be: xxxx_yyyy.seem";

}  // namespace

void PhonePane::chooseSeemFolder(Side side) {
    context_.catalogue.setCatalogueLoaded(false);
    context_.panes.phoneVolumeIndex = kSeemEntry;
    PaneController& pane = host_.pane(side);
    pane.widgets().combo->setCurrentIndex(static_cast<int>(kSeemEntry));
    pane.model()->setHeaderText(
        2, QString::fromStdString(std::string(context_.messages.text(msg::kSeemDetailHeader))));
    pane.setColumn0Width(kSeemNameWidth);
    pane.widgets().list->header()->resizeSection(2,
                                                 host_.rememberedColumn0() - kSeemNameWidth + 120);
    listSeems(side);
    context_.panes.seemFolderShown = true;
}

void PhonePane::listSeems(Side side) {
    PaneSet& panes = context_.panes;
    panes.setPathText(side, kSeemFolderPath);
    std::vector<PaneRow>& rows = panes.rows(side);
    rows.clear();
    const SeemLists& lists = context_.seemLists;
    ProgressSink& progress = host_.progressSink();
    progress.setRange(0, static_cast<int>(lists.seemCount()) + 1);
    progress.setPosition(0);
    for (size_t i = 0; i < lists.seemCount(); ++i) {
        const std::string name(lists.seemEntry(i));
        const auto number = seemNumberOf(name);
        PaneRow row = seemRow(name, number ? std::string(lists.category(*number)) : "");
        row.param = static_cast<uint32_t>(i);
        rows.push_back(std::move(row));
        progress.step();
    }
}

void PhonePane::listSeemRecords(Side side, const std::string& seemText) {
    if (workers_.refuseIfBusy("Seem listing")) return;
    PaneSet& panes = context_.panes;
    panes.setPathText(side, panes.pathText(side) + seemText);
    panes.seemFolderShown = false;
    std::vector<PaneRow>& rows = panes.rows(side);
    rows.clear();
    rows.push_back(parentRow());
    ProgressSink& progress = host_.progressSink();
    progress.setRange(0, 256);
    progress.setPosition(0);
    for (const SeemRecordRow& record :
         mdk::listSeemRecords(context_.commands, seemText, &progress)) {
        PaneRow row = seemRecordRow(record.name, record.length);
        row.param = static_cast<uint32_t>(rows.size());
        rows.push_back(std::move(row));
    }
    progress.setPosition(255);
}

void PhonePane::editSeemRecord(const std::string& rowName) {
    const auto address = seemRowAddress(rowName);
    if (!address || !usableFileName(rowName)) {
        context_.log.logLine("Not a seem record: " + rowName);
        return;
    }
    if (workers_.refuseIfBusy("Seem edit")) return;
    const auto data = readSeemRecord(context_.commands, address->seem, address->record);
    if (!data) {
        // Never hand the editor (and then the phone) bytes of another record.
        context_.log.logLine("Seem read failed, nothing to edit: " + rowName);
        return;
    }
    const std::string path = tempFolder() + "/" + rowName;
    std::string error;
    if (!makeFolders(tempFolder(), error) ||
        !writeFileSafely(path, *data, ExistingFile::Replace, error)) {
        context_.log.logLine("Cannot write " + path + ": " + error);
        return;
    }
    if (!editAndWait(hexEditor(), path)) return;
    Prompt question{"Warning, data changed",
                    "Seem data changed, do you want to write to the phone?", PromptButtons::YesNo,
                    PromptIcon::Question};
    if (context_.prompter.ask(question) != PromptAnswer::Yes) return;
    const auto target = parseSeemFileName(rowName);
    if (!target) {
        context_.prompter.ask({kWarning, kInvalidSeemName, PromptButtons::Ok, PromptIcon::Warning});
        return;
    }
    const auto file = readWholeFile(path, error);
    if (!file) {
        context_.log.logLine("Cannot read " + path + ": " + error);
        return;
    }
    if (writeSeemFromFile(context_.commands, *target, *file) != 0) {
        context_.log.logLine("Seem write failed: " + rowName);
    }
}

// --- Drop onto a phone pane ---

void PhonePane::dropOnPhone(Side side, const std::string& file) {
    if (workers_.refuseIfBusy("Upload of " + file)) return;
    const std::string name = file.substr(file.rfind('/') + 1);
    std::string error;
    const auto bytes = usableFileName(name) ? readWholeFile(file, error) : std::nullopt;
    if (!bytes) {
        // Never upload a file that could not be read whole (it would arrive as 0 bytes).
        context_.log.logLine("Skipped " + file + ": " + (error.empty() ? "no file" : error));
        return;
    }
    const std::string phonePath = phoneFolderOfPath(context_.panes.pathText(side)) + name;
    CommandSet& commands = context_.commands;
    int result = -1;
    {
        PhoneSession session(commands.transport());
        QuietLog quiet(context_.log);
        if (commands.phoneOpenFile(phonePath, 4) == 0) {
            ProgressSink& progress = host_.progressSink();
            progress.setRange(0, static_cast<int>(bytes->size() / 1000) + 1);
            progress.setPosition(0);
            result = commands.phoneWriteFile(*bytes);
            if (commands.phoneCloseFile() != 0) result = -1;
        }
    }
    if (result != 0) {
        context_.log.logLine("Upload failed: " + phonePath);
        return;
    }
    context_.catalogue.refreshPhoneStatus();
    if (!context_.catalogue.appendCatalogueRecord(phonePath, static_cast<uint32_t>(bytes->size()),
                                                  kUploadedAttributeWord)) {
        context_.catalogue.setCatalogueLoaded(false);
    }
    host_.pane(side).widgets().list->setFocus();
    listPhoneFolder(side);
}

}  // namespace mdk
