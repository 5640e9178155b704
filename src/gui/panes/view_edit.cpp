#include "gui/panes/view_edit.h"

#include <memory>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/pane_host.h"
#include "gui/panes/phone_pane.h"
#include "gui/panes/worker_runner.h"
#include "p2k/file_transfer.h"
#include "panes/pane_rows.h"
#include "panes/pc_listing.h"
#include "panes/phone_rows.h"
#include "platform/outside_programs.h"
#include "platform/safe_file.h"

namespace mdk {

struct ViewEdit::Target {
    Side side = Side::Left;
    LocationKind kind = LocationKind::Pc;
    PaneRow row;
};

ViewEdit::ViewEdit(AppContext& context, PaneHost& host, PhonePane& phone, WorkerRunner& workers)
    : context_(context), host_(host), phone_(phone), workers_(workers) {
    openFolder_ = [](const std::string& folder) { startDetached("xdg-open", folder); };
}

void ViewEdit::install() {
    host_.setCommandHandler(ids::kView, [this] { view(); });
    host_.setCommandHandler(ids::kEdit, [this] { edit(); });
}

bool ViewEdit::firstSelected(Target& target) const {
    target.side = context_.panes.active();
    target.kind = context_.panes.kind(target.side);
    const PaneController& pane = host_.pane(target.side);
    std::vector<int> selected = pane.selectedRows();
    const int index = selected.empty() ? pane.focusedRow() : selected.front();
    const auto& rows = context_.panes.rows(target.side);
    if (index < 0 || static_cast<size_t>(index) >= rows.size()) return false;
    target.row = rows[static_cast<size_t>(index)];
    return true;
}

void ViewEdit::view() {
    Target target;
    if (!firstSelected(target)) return;
    switch (target.kind) {
        case LocationKind::PhoneVolume: {
            phone_.openPhoneFile(target.side, target.row);
            break;
        }
        case LocationKind::SeemFolder:
            break;  // a seem record is viewed through Edit
        case LocationKind::Pc:
            openPc(target, false);
            break;
    }
}

void ViewEdit::edit() {
    Target target;
    if (!firstSelected(target)) return;
    switch (target.kind) {
        case LocationKind::PhoneVolume:
            editPhoneFile(target.side, target.row.name);
            break;
        case LocationKind::SeemFolder:
            // A record row is edited as activating it does; a whole seem has no file.
            if (!context_.panes.seemFolderShown && target.row.name != "..") {
                phone_.editSeemRecord(target.row.name);
            }
            break;
        case LocationKind::Pc:
            openPc(target, true);
            break;
    }
}

void ViewEdit::openPc(const Target& target, bool edit) {
    const std::string path = childPath(context_.panes.pcPath(target.side), target.row.name);
    if (target.row.isFolder()) {
        openFolder_(path);
        return;
    }
    const std::vector<std::string> programs =
        edit ? std::vector<std::string>{OutsidePrograms::textEditor(phone_.editors().textEditor)}
             : phone_.viewers();
    if (!startFirstOf(programs, path)) context_.log.logLine("Cannot open " + path);
}

void ViewEdit::editPhoneFile(Side side, const std::string& name) {
    const auto& rows = context_.panes.rows(side);
    auto row =
        std::find_if(rows.begin(), rows.end(), [&](const PaneRow& r) { return r.name == name; });
    if (row == rows.end()) return;
    // The write-back goes to the file that was downloaded, whatever the pane shows by then,
    // and opens it with the file's own attribute value.
    WriteBack target{context_.panes.phoneFolder(side) + name,
                     rowOpenMode(*row, context_.runSettings.read().usblanP2k05())};
    phone_.downloadToTemp(side, *row, [this, side, target](const std::string& path) {
        if (!phone_.editAndWait(phone_.hexEditor(), path)) return;
        Prompt question{"Warning, data changed",
                        "File data changed, do you want to write to the phone?",
                        PromptButtons::YesNo, PromptIcon::Question};
        if (context_.prompter.ask(question) != PromptAnswer::Yes) return;
        uploadBack(side, path, target);
    });
}

uint32_t ViewEdit::catalogueWordOf(const std::string& phonePath) const {
    for (const CatalogueRecord& record : context_.catalogue.records()) {
        if (record.path == phonePath) return record.attributeWord;
    }
    return kUploadedAttributeWord;
}

void ViewEdit::uploadBack(Side side, const std::string& localPath, const WriteBack& target) {
    std::string error;
    auto bytes = readWholeFile(localPath, error);
    if (!bytes) {
        context_.log.logLine("Cannot read " + localPath + ": " + error);
        return;
    }
    struct Upload {
        std::vector<uint8_t> bytes;
        int result = -1;
    };
    auto state = std::make_shared<Upload>();
    state->bytes = std::move(*bytes);
    const std::string phonePath = target.phonePath;
    const uint32_t openMode = target.openMode;
    const uint32_t word = catalogueWordOf(phonePath);
    CommandSet& commands = context_.commands;
    workers_.run(
        "Upload " + phonePath,
        [state, &commands, phonePath, openMode] {
            state->result = uploadPhoneFile(commands, phonePath, state->bytes, openMode);
        },
        [this, state, side, phonePath, word] {
            if (state->result != 0) {
                context_.log.logLine("Upload failed: " + phonePath);
                return;
            }
            // The catalogue learns the new size only once the phone has the file.
            Catalogue& catalogue = context_.catalogue;
            catalogue.markCatalogueRecord(phonePath);
            if (!catalogue.appendCatalogueRecord(
                    phonePath, static_cast<uint32_t>(state->bytes.size()), word)) {
                catalogue.setCatalogueLoaded(false);
            }
            if (context_.panes.kind(side) == LocationKind::PhoneVolume) {
                phone_.listPhoneFolder(side);
                host_.pane(side).sortRenumberFocus();
            }
        });
}

}  // namespace mdk
