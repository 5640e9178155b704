#pragma once
// A main window over a throw-away program folder: its own message file (message n reads
// "Mn"), a valid configuration, fixed drive entries and scripted prompts.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "base/clock.h"
#include "base/prompter.h"
#include "config/config_file.h"
#include "config/linux_settings.h"
#include "gui/panes/location_combo.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/pane_list.h"
#include "gui/panes/pane_rows_model.h"
#include "gui/window/log_list.h"
#include "gui/window/main_window.h"

namespace mdk::test {

// The child widget of a dialog or window named by its control id.
template <typename T>
T* child(QWidget* parent, int id) {
    return parent->findChild<T*>(QString::number(id));
}

inline std::string str(const QString& text) {
    return text.toStdString();
}

class GuiFixture {
public:
    GuiFixture() {
        programFolder = str(programDir.path());
        home = str(homeDir.path());
        other = str(otherDir.path());
        writeMessages(135);
        config.leftSource = 6;
        config.rightSource = 6;
        config.checkRelease = 0;
    }

    // Messages 0 .. count-1, after a comment line.
    void writeMessages(int count) {
        std::ofstream out(programFolder + "/Messages.lng", std::ios::binary);
        out << "# test messages\r\n";
        for (int n = 0; n < count; ++n) out << "M" << n << "\r\n";
    }

    void writeConfig() { ConfigFile(programFolder + "/.config").save(config); }

    std::vector<LocationEntry> drives() const {
        return {{"/ ", EntryIcon::Root, "/"},
                {home, EntryIcon::Home, home},
                {other + " label", EntryIcon::LocalDisk, other},
                {"/no/such/medium M73", EntryIcon::Removable, "/no/such/medium"}};
    }

    MainWindowServices services() {
        MainWindowServices s;
        s.startTimers = false;
        s.driveEntries = [this] { return drives(); };
        s.startLinkWatch = [this](MainWindow&) { context->log.logLine("link watch started"); };
        s.shellOpen = [this](const std::string& path) { opened.push_back(path); };
        s.commandLineArgument = argument;
        return s;
    }

    MainWindow& start(bool withConfig = true) {
        if (withConfig) writeConfig();
        context = std::make_unique<AppContext>(programFolder, clock);
        context->prompter.setTarget(&prompter);
        window = std::make_unique<MainWindow>(*context, services());
        window->resize(900, 600);
        return *window;
    }

    QStringList logLines() const {
        auto* log = window->findChild<LogList*>(QString::number(ids::kEventLog));
        return log ? log->lines() : QStringList();
    }

    // The Linux settings as the program reads them at start-up (file, then environment).
    LinuxSettings linuxSettings() const {
        return LinuxSettings::load(context->files.configFolder(), std::getenv);
    }

    PaneController& pane(Side side) { return window->pane(side); }
    PaneList* list(Side side) { return pane(side).widgets().list; }
    std::vector<PaneRow>& rows(Side side) { return context->panes.rows(side); }
    QStringList names(Side side) {
        QStringList out;
        for (const PaneRow& row : rows(side)) out << QString::fromStdString(row.name);
        return out;
    }

    static void touch(const std::string& path, const std::string& content = "x") {
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    QTemporaryDir programDir, homeDir, otherDir;
    std::string programFolder, home, other;
    ConfigRecord config;
    std::string argument;
    ManualClock clock;
    ScriptedPrompter prompter;
    std::vector<std::string> opened;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<MainWindow> window;
};

}  // namespace mdk::test
