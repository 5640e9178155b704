// Times the catalogue load the way the command-line tool runs it and the way the window
// runs it, in turns, on one phone link, each by the program's own "files listed in" line.
//
//   marrowdeck_gui_load_timing LINK [ROUNDS]         a phone over the emulator link
//                                                    (unix:PATH or tcp:HOST:PORT)
//   marrowdeck_gui_load_timing --files N [ROUNDS]    an in-process phone with N files
//
// The command-line way: the load on the calling thread, its log lines kept by a view that
// holds the live line as the tool's --log view does, no progress bar. The window's way: the
// left pane's first volume listed (the first round) or re-read, on a worker with the wait
// dialog's event loop serving the window meanwhile, the log list and the progress bar
// taking every line and step. Prints "tool N", "window N" per round (milliseconds).
#include <QApplication>
#include <QListWidget>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "base/clock.h"
#include "base/prompter.h"
#include "config/linux_settings.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/phone_ui.h"
#include "gui/window/log_list.h"
#include "gui/window/main_window.h"
#include "sim/phone_model.h"
#include "sim/sim_link.h"
#include "sim/sim_phone.h"

namespace {

// The milliseconds of a "files listed in" line.
std::optional<long> listedMilliseconds(const std::string& line) {
    static const std::regex listed(R"(^\d+ files listed in (\d+) ms\.$)");
    std::smatch match;
    if (!std::regex_match(line, match, listed)) return std::nullopt;
    return std::stol(match[1]);
}

std::string lastWindowLine(mdk::MainWindow& window) {
    auto* log = window.findChild<QListWidget*>(QString::number(mdk::ids::kEventLog));
    if (!log || log->count() == 0) return {};
    return log->item(log->count() - 1)->text().toStdString();
}

// Keeps the last line, replaced or not, as the command-line tool's log view keeps its live
// line.
class LastLineView final : public mdk::LogView {
public:
    void appendLine(const std::string& text) override { keep(text); }
    void replaceLastLine(const std::string& text) override { keep(text); }
    std::string last() {
        std::lock_guard lock(mutex_);
        return last_;
    }

private:
    void keep(const std::string& text) {
        std::lock_guard lock(mutex_);
        last_ = text;
    }
    std::mutex mutex_;
    std::string last_;
};

// A phone in this process: N empty files in /a/mobile, 200 to a folder, folders unlisted.
struct InProcessPhone {
    explicit InProcessPhone(int files) : phone(model) {
        model.clearFiles();
        model.addVolume("/a", 1u << 30);
        model.setListFolders(false);
        char path[64];
        for (int i = 0; i < files; ++i) {
            std::snprintf(path, sizeof path, "/a/mobile/folder_%03d/picture_%05d.jpg", i / 200, i);
            model.addFile(path, {});
        }
    }
    mdk::sim::PhoneModel model;
    mdk::sim::SimPhone phone;
};

int fail(const std::string& text) {
    std::fprintf(stderr, "marrowdeck_gui_load_timing: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool inProcess = args.size() > 2 && args[1] == "--files";
    const int first = inProcess ? 3 : 2;
    if (args.size() < 2 || (args[1] == "--files" && !inProcess)) {
        return fail("usage: marrowdeck_gui_load_timing LINK|--files N [ROUNDS]");
    }
    const int rounds = args.size() > first ? std::max(1, args[first].toInt()) : 3;

    std::unique_ptr<InProcessPhone> local;
    std::shared_ptr<mdk::DriverLink> link;
    if (inProcess) {
        local = std::make_unique<InProcessPhone>(args[2].toInt());
        link = std::make_shared<mdk::sim::SimLink>(local->phone);
    } else {
        std::string error;
        link = mdk::sim::openLink(args[1].toStdString(), error);
        if (!link) return fail("cannot open " + args[1].toStdString() + ": " + error);
    }

    mdk::SystemClock clock;
    const std::string programFolder = QCoreApplication::applicationDirPath().toStdString();
    mdk::AppContext context(mdk::ProgramFiles::locate(programFolder), clock);
    if (std::string error; !context.files.createUserFolders(error)) return fail(error);
    // Questions (the first start's missing settings) take their default answers.
    mdk::ScriptedPrompter prompter;
    context.prompter.setTarget(&prompter);
    const mdk::LinuxSettings settings =
        mdk::LinuxSettings::load(context.files.configFolder(), std::getenv);
    std::unique_ptr<mdk::PhoneUi> phoneUi;
    mdk::MainWindowServices services;
    services.startTimers = false;
    services.startLinkWatch = [](mdk::MainWindow&) {};
    services.buildPhoneSide = [&](mdk::MainWindow& window) {
        phoneUi = std::make_unique<mdk::PhoneUi>(context, window, settings);
    };
    mdk::MainWindow window(context, services);
    if (!window.startedUp()) return fail("the window did not start");
    window.show();
    context.catalogue.setView(&window.phoneView());
    context.driver.setLink(link);
    context.catalogue.attachPhone();
    QApplication::processEvents();

    mdk::PaneController& pane = window.pane(mdk::Side::Left);
    LastLineView toolView;
    for (int round = 0; round < rounds; ++round) {
        // The command-line way, on this thread.
        context.log.setView(&toolView);
        context.commands.setProgress(nullptr);
        context.catalogue.loadCatalogue();
        const auto toolMs = listedMilliseconds(toolView.last());
        // The window's way: the call returns once the worker has ended.
        context.log.setView(window.findChild<mdk::LogList*>(QString::number(mdk::ids::kEventLog)));
        context.commands.setProgress(&window.progressSink());
        context.catalogue.setCatalogueLoaded(false);
        if (round == 0) {
            pane.chooseLocation(0);
        } else {
            pane.reread();
        }
        QApplication::processEvents();
        const auto windowMs = listedMilliseconds(lastWindowLine(window));
        if (!toolMs || !windowMs)
            return fail("no \"files listed in\" line in round " + std::to_string(round + 1));
        std::printf("tool %ld\nwindow %ld\n", *toolMs, *windowMs);
        std::fflush(stdout);
    }
    phoneUi.reset();
    context.catalogue.setView(nullptr);
    context.commands.setProgress(nullptr);
    return 0;
}
