#pragma once
// A main window on the in-process simulated phone, with the window's file commands and
// transfers installed on one worker runner that runs without its wait dialog. Phone panes
// are listed from the loaded catalogue, as a phone pane lists them.
#include <QApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <mutex>

#include "gui/dialogs/wait_dialog.h"
#include "gui/panes/file_commands.h"
#include "gui/panes/worker_runner.h"
#include "gui_fixture.h"
#include "p2k/command_set.h"
#include "panes/phone_rows.h"
#include "panes/phone_source.h"
#include "sim/phone_model.h"
#include "sim/sim_link.h"
#include "sim/sim_phone.h"

namespace mdk::test {

// Rows of a phone folder straight from the catalogue.
class CataloguePhone final : public PhoneSource {
public:
    explicit CataloguePhone(AppContext& context) : context_(context) {}
    bool selectPhoneLocation(Side, uint32_t) override { return true; }
    void rereadPhone(Side) override {}
    void showPhoneFolder(Side side) override {
        const std::string folder = context_.panes.phoneFolder(side);
        context_.panes.rows(side) = phoneFolderRows(context_.catalogue.listFolder(folder), folder);
    }
    void activatePhoneRow(Side, const std::string&) override {}
    void dropOnPhone(Side, const std::string&) override {}

private:
    AppContext& context_;
};

// Every progress range set, in order.
class RangeRecorder final : public ProgressSink {
public:
    void setRange(int low, int high) override {
        std::lock_guard lock(mutex_);
        ranges_.emplace_back(low, high);
    }
    void setPosition(int) override {}
    void step() override {}
    std::vector<std::pair<int, int>> ranges() const {
        std::lock_guard lock(mutex_);
        return ranges_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<int, int>> ranges_;
};

// Presses the Cancel of the wait dialog on screen once its progress line satisfies when;
// the lines the dialog showed are kept in shown.
class WaitDialogCanceller {
public:
    WaitDialogCanceller(QStringList& shown, std::function<bool(const QString&)> when)
        : shown_(shown), when_(std::move(when)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
        timer_.start();
    }

private:
    void look() {
        auto* dialog = qobject_cast<WaitDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        dialog->poll();
        auto* line = child<QLabel>(dialog, WaitDialog::kProgressLineId);
        auto* cancel = dialog->findChild<QPushButton*>("cancel");
        if (!line || !cancel || !cancel->isEnabled()) return;
        shown_ << line->text();
        if (when_(line->text())) cancel->click();
    }
    QStringList& shown_;
    std::function<bool(const QString&)> when_;
    QTimer timer_;
};

class TransferFixture : public GuiFixture {
public:
    TransferFixture() : model(sim::PhoneKind::P2k05Gsm), phone(model) {}
    ~TransferFixture() {
        if (context) context->commands.setProgress(nullptr);
        commands.reset();
        window.reset();
    }

    void startOnPhone() {
        start();
        context->driver.setLink(std::make_shared<sim::SimLink>(phone, linkLatencyMs));
        context->commands.setProgress(&progress);
        workers = std::make_unique<WorkerRunner>(context->log, window.get());
        workers->setShowDialog(false);
        catalogueRows = std::make_unique<CataloguePhone>(*context);
        window->setPhoneSource(catalogueRows.get());
        commands = std::make_unique<FileCommands>(*context, *window, *workers, *catalogueRows);
        commands->install();
        commands->transfers().setTargetAsker(
            [this](const std::string& name, const std::string& proposed) {
                asked.push_back(name + " -> " + proposed);
                return targetAnswer ? targetAnswer(proposed) : std::optional(proposed);
            });
        commands->setNameAsker([this] { return folderName; });
        // PC deletes go to a trash folder of the test (or fail, as without a trash).
        commands->setTrash([this](const std::string& path) {
            if (!trashAvailable) return false;
            std::error_code error;
            std::filesystem::rename(path, str(trashDir.path()) + "/" + lastComponent(path), error);
            return !error;
        });
        startupPrompts = prompter.shown().size();
    }

    // The prompts shown since the window started (its start-up warnings left out).
    std::vector<Prompt> prompts() const {
        auto shown = prompter.shown();
        shown.erase(shown.begin(), shown.begin() + static_cast<long>(startupPrompts));
        return shown;
    }

    void loadPhone() { context->catalogue.loadCatalogue(); }

    // The side shows a phone folder ("/a/" or "/") from the catalogue.
    void showPhone(Side side, const std::string& folder) {
        context->panes.setLocationIndex(side, 0);
        context->panes.setPhoneFolder(side, folder);
        context->panes.setPathText(side, "P2k:" + folder);
        catalogueRows->showPhoneFolder(side);
        pane(side).sortRenumberFocus();
    }
    // The side shows the PC folder path.
    void showPc(Side side, const std::string& path) {
        context->panes.setLocationIndex(side, 7);
        context->panes.setPcPath(side, path);
        context->panes.setPathText(side, path);
        window->pcPanes().listPcFolder(side);
        pane(side).sortRenumberFocus();
    }
    // The side shows the seem folder with these rows.
    void showSeems(Side side, const std::vector<std::string>& names) {
        context->panes.setLocationIndex(side, kSeemEntry);
        auto& rows = context->panes.rows(side);
        rows.clear();
        for (const auto& name : names) {
            PaneRow row;
            row.kind = RowKind::SeemRecord;
            row.name = name;
            rows.push_back(row);
        }
        pane(side).showRows();
    }

    // Makes side the active pane with exactly the rows named selected.
    void select(Side side, const QStringList& wanted) {
        context->panes.activePane = sideIndex(side);
        auto* selection = list(side)->selectionModel();
        selection->clear();
        const QStringList all = names(side);
        for (const QString& name : wanted) {
            const auto row = all.indexOf(name);
            QVERIFY2(row >= 0, qPrintable(name));
            selection->select(list(side)->model()->index(static_cast<int>(row), 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    void dispatch(int id) { window->dispatchCommand(id); }

    bool logged(const QString& text) const { return logLines().contains(text); }

    std::vector<std::string> phonePaths() const {
        std::vector<std::string> out;
        for (const auto& entry : model.files()) out.push_back(entry.path);
        return out;
    }

    static std::vector<uint8_t> bytesOf(const std::string& text) {
        return {text.begin(), text.end()};
    }

    sim::PhoneModel model;
    sim::SimPhone phone;
    uint32_t linkLatencyMs = 0;  // set before startOnPhone: a slow phone
    RangeRecorder progress;
    std::unique_ptr<WorkerRunner> workers;
    std::unique_ptr<CataloguePhone> catalogueRows;
    std::unique_ptr<FileCommands> commands;
    std::function<std::optional<std::string>(const std::string&)> targetAnswer;
    std::vector<std::string> asked;
    std::optional<std::string> folderName;
    QTemporaryDir trashDir;
    bool trashAvailable = true;
    size_t startupPrompts = 0;
};

}  // namespace mdk::test
