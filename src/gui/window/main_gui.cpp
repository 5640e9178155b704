// The marrowdeck executable: the Qt 6 Widgets front end.
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QDesktopServices>
#include <QProcess>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/app_context.h"
#include "app/command_line.h"
#include "app/package_start.h"
#include "base/clock.h"
#include "config/linux_settings.h"
#include "device/device_connection.h"
#include "gui/controls/pictures.h"
#include "gui/dialogs/batch_run.h"
#include "gui/panes/file_commands.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/phone_pane.h"
#include "gui/panes/phone_ui.h"
#include "gui/panes/worker_runner.h"
#include "gui/window/backup_commands.h"
#include "gui/window/diagnose_command.h"
#include "gui/window/main_window.h"
#include "gui/window/mount_command.h"
#include "gui/window/qt_prompter.h"
#include "gui/window/seem_commands.h"
#include "platform/companion.h"
#include "platform/file_associations.h"
#include "platform/outside_programs.h"
#include "platform/process_runner.h"
#include "sim/sim_link.h"

namespace {

// The phone link: MARROWDECK_LINK ("sim", "unix:PATH", "tcp:HOST:PORT"), else "usb".
std::string linkAddress() {
    const char* address = std::getenv("MARROWDECK_LINK");
    return address && *address ? address : "usb";
}

// The package or skin pack argument, made absolute before the program enters its own
// folder.
std::string firstArgument(int argc, char** argv) {
    const std::string argument = mdk::startArgument(argc, argv);
    if (argument.empty()) return {};
    char folder[4096] = {};
    if (::getcwd(folder, sizeof folder - 1) == nullptr) return argument;
    return mdk::absoluteArgument(argument, folder);
}

std::vector<uint8_t> programIconPng() {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    mdk::programIcon().pixmap(48, 48).save(&buffer, "PNG");
    return std::vector<uint8_t>(png.begin(), png.end());
}

// Until the package dialog is part of the program, a package start shows what it would
// run and ends without running it.
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    mdk::initPictures();
    const std::string programFolder = QCoreApplication::applicationDirPath().toStdString();
    mdk::SystemClock clock;
    mdk::AppContext context(mdk::ProgramFiles::locate(programFolder), clock);
    if (std::string error; !context.files.createUserFolders(error)) {
        std::fprintf(stderr, "marrowdeck: %s\n", error.c_str());
    }
    mdk::QtPrompter prompter;
    context.prompter.setTarget(&prompter);

    const std::string address = linkAddress();
    std::string settingsWarnings;
    const mdk::LinuxSettings settings =
        mdk::LinuxSettings::load(context.files.configFolder(), std::getenv, &settingsWarnings);
    context.commands.setVerifyTransfers(settings.verifyTransfers);
    mdk::LinuxDevicePlatform platform(address, mdk::sim::openLink);
    mdk::PosixCommandRunner desktopCommands;
    const mdk::XdgFolders xdg = mdk::XdgFolders::fromEnvironment(std::getenv);
    mdk::XdgCompanion companion(xdg, desktopCommands, clock);
    std::unique_ptr<mdk::DeviceConnection> connection;
    std::unique_ptr<mdk::PhoneUi> phoneUi;
    std::unique_ptr<mdk::FileCommands> fileCommands;
    std::unique_ptr<mdk::SeemCommands> seemCommands;
    std::unique_ptr<mdk::BackupCommands> backupCommands;
    std::unique_ptr<mdk::DiagnoseCommand> diagnoseCommand;
    std::unique_ptr<mdk::MountCommand> mountCommand;

    mdk::MainWindowServices services;
    services.commandLineArgument = firstArgument(argc, argv);
    services.shellOpen = [](const std::string& path) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
    };
    services.writeAssociations = [&] {
        const std::string program = QCoreApplication::applicationFilePath().toStdString();
        mdk::FileAssociations(xdg, desktopCommands).write(program, programIconPng());
    };
    std::function<void(mdk::MainWindow&, bool)> startConnection;
    // The start with a package: dialog 1600 runs it; the link watch starts without its
    // once-only test.
    services.runPackage = [&](mdk::MainWindow& window, const std::string& path) {
        mdk::BatchRunHooks hooks;
        hooks.startLinkWatch = [&] { startConnection(window, false); };
        hooks.hideStartupPicture = [&window] { window.hideStartupPicture(); };
        hooks.relistRightPane = [&window] { window.relistRightPane(); };
        const auto result = mdk::runBatchPackage(context, path, hooks, &window);
        return result.outcome == mdk::BatchDialog::Outcome::Cancelled
                   ? mdk::PackageRunResult::Cancelled
                   : mdk::PackageRunResult::Ended;
    };
    services.companion = &companion;
    services.updateServer = settings.updateServer;
    services.openLink = [](const std::string& link) {
        QProcess::startDetached("xdg-open", {QString::fromStdString(link)});
    };
    startConnection = [&](mdk::MainWindow& window, bool onceOnlyTest) {
        context.catalogue.setView(&window.phoneView());
        context.commands.setProgress(&window.progressSink());
        connection = std::make_unique<mdk::DeviceConnection>(context.device, platform.services(),
                                                             window.deviceView(), window, settings);
        connection->setAttachPhone([&context] { return context.catalogue.attachPhone(); });
        if (phoneUi) phoneUi->setConnection(connection.get());
        context.log.logLine("Phone link: " + address);
        if (!settingsWarnings.empty()) context.log.logLine(settingsWarnings);
        connection->startLinkWatch(onceOnlyTest);
    };
    services.startLinkWatch = [&](mdk::MainWindow& window) { startConnection(window, true); };
    services.workerRunning = [&] { return phoneUi && phoneUi->workers().busy(); };
    services.closeLink = [&] {
        if (connection) connection->closeLink();
    };

    // The phone side is built on the window before its start-up runs.
    services.buildPhoneSide = [&](mdk::MainWindow& window) {
        prompter.setParent(&window);
        phoneUi = std::make_unique<mdk::PhoneUi>(context, window, settings);
        phoneUi->setFolderOpener(services.shellOpen);
        // PC files open as phone files do: the desktop's default, lister, the text editor.
        for (mdk::Side side : {mdk::Side::Left, mdk::Side::Right}) {
            window.pane(side).setShellOpener([&](const std::string& path) {
                if (!mdk::startFirstOf(phoneUi->phonePane().viewers(), path)) {
                    context.log.logLine("Cannot open " + path);
                }
            });
        }
        fileCommands = std::make_unique<mdk::FileCommands>(context, window, phoneUi->workers(),
                                                           phoneUi->phonePane());
        fileCommands->setReconnect([&] {
            if (connection) connection->reconnect();
        });
        fileCommands->install();
        seemCommands = std::make_unique<mdk::SeemCommands>(context, window, phoneUi->workers());
        seemCommands->install();
        backupCommands = std::make_unique<mdk::BackupCommands>(context, window, phoneUi->workers());
        backupCommands->install();
        diagnoseCommand =
            std::make_unique<mdk::DiagnoseCommand>(context, window, phoneUi->workers(), address);
        diagnoseCommand->install();
        mdk::MountCommand::Hooks mountHooks;
        mountHooks.cliPath = programFolder + "/marrowdeck-cli";
        mountHooks.address = address;
        mountHooks.releaseLink = [&] {
            if (connection) connection->releaseLink();
        };
        mountHooks.resumeLink = [&] {
            if (connection) connection->startLinkWatch(false);
        };
        mountCommand = std::make_unique<mdk::MountCommand>(context, window, phoneUi->workers(),
                                                           std::move(mountHooks));
        mountCommand->install();
    };

    int code = 0;
    bool restart = false;
    {
        mdk::MainWindow window(context, services);
        if (window.startedUp()) {
            window.show();
            code = app.exec();
        }
        code = window.exitCode(code);
        restart = window.restartRequested();
        prompter.close();
        if (connection) connection->stopLinkWatch();
        seemCommands.reset();
        fileCommands.reset();
        backupCommands.reset();
        diagnoseCommand.reset();
        mountCommand.reset();
        phoneUi.reset();
        context.catalogue.setView(nullptr);
        context.commands.setProgress(nullptr);
    }
    connection.reset();
    if (restart) mdk::ExecRestarter().restartAfterExit();
    return code;
}
