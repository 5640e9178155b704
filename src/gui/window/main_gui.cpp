// The marrowdeck executable: the Qt 6 Widgets front end.
#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <cstdlib>
#include <memory>

#include "app/app_context.h"
#include "app/command_line.h"
#include "base/clock.h"
#include "device/device_connection.h"
#include "gui/controls/pictures.h"
#include "gui/panes/file_commands.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/phone_pane.h"
#include "gui/panes/phone_ui.h"
#include "gui/window/main_window.h"
#include "gui/window/qt_prompter.h"
#include "platform/outside_programs.h"
#include "platform/process_runner.h"
#include "sim/sim_link.h"

namespace {

// The phone link: MARROWDECK_LINK ("sim", "unix:PATH", "tcp:HOST:PORT"), else "usb".
std::string linkAddress() {
    const char* address = std::getenv("MARROWDECK_LINK");
    return address && *address ? address : "usb";
}

std::string firstArgument(int argc, char** argv) {
    std::string argument;
    const std::string commandLine = mdk::buildCommandLine(argc, argv);
    if (mdk::commandLineArgument(commandLine, 1, argument) != mdk::kArgumentFound) return {};
    return argument;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    mdk::initPictures();
    const std::string programFolder = QCoreApplication::applicationDirPath().toStdString();
    mdk::SystemClock clock;
    mdk::AppContext context(programFolder, clock);
    mdk::QtPrompter prompter;
    context.prompter.setTarget(&prompter);

    const std::string address = linkAddress();
    mdk::LinuxDevicePlatform platform(address, mdk::sim::openLink);
    std::unique_ptr<mdk::DeviceConnection> connection;
    std::unique_ptr<mdk::PhoneUi> phoneUi;
    std::unique_ptr<mdk::FileCommands> fileCommands;

    mdk::MainWindowServices services;
    services.commandLineArgument = firstArgument(argc, argv);
    services.shellOpen = [](const std::string& path) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
    };
    services.startLinkWatch = [&](mdk::MainWindow& window) {
        context.catalogue.setView(&window.phoneView());
        context.commands.setProgress(&window.progressSink());
        connection = std::make_unique<mdk::DeviceConnection>(context.device, platform.services(),
                                                             window.deviceView(), window);
        connection->setAttachPhone([&context] { return context.catalogue.attachPhone(); });
        if (phoneUi) phoneUi->setConnection(connection.get());
        context.log.logLine("Phone link: " + address);
        connection->startLinkWatch();
    };
    services.closeLink = [&] {
        if (connection) connection->closeLink();
    };

    int code = 0;
    bool restart = false;
    {
        mdk::MainWindow window(context, services);
        prompter.setParent(&window);
        phoneUi = std::make_unique<mdk::PhoneUi>(context, window);
        phoneUi->setFolderOpener(services.shellOpen);
        // PC files open as phone files do: the desktop's default, lister, the text editor.
        for (mdk::Side side : {mdk::Side::Left, mdk::Side::Right}) {
            window.pane(side).setShellOpener([&](const std::string& path) {
                if (!mdk::startFirstOf(phoneUi->phonePane().viewers(), path)) {
                    context.log.logLine("Cannot open " + path);
                }
            });
        }
        if (connection) phoneUi->setConnection(connection.get());  // made during start-up
        fileCommands = std::make_unique<mdk::FileCommands>(context, window, phoneUi->workers(),
                                                           phoneUi->phonePane());
        fileCommands->setReconnect([&] {
            if (connection) connection->reconnect();
        });
        fileCommands->install();
        if (window.startedUp()) {
            window.show();
            code = app.exec();
        }
        restart = window.restartRequested();
        prompter.close();
        if (connection) connection->stopLinkWatch();
        fileCommands.reset();
        phoneUi.reset();
        context.catalogue.setView(nullptr);
        context.commands.setProgress(nullptr);
    }
    connection.reset();
    if (restart) mdk::ExecRestarter().restartAfterExit();
    return code;
}
