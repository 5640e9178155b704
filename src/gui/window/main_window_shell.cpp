// The main window's parts that face the outside: the options dialog, the start with a
// package or skin pack argument, and the update check.
#include <QUrl>

#include "app/app_context.h"
#include "app/options.h"
#include "app/package_start.h"
#include "app/update_check.h"
#include "gui/dialogs/about_dialog.h"
#include "gui/dialogs/options_dialog.h"
#include "gui/window/main_window.h"
#include "gui/window/update_checker.h"

namespace mdk {

void MainWindow::showOptions() {
    // OK may set up the link anew, which waits for a worker's session.
    if (services_.workerRunning && services_.workerRunning()) {
        context_.log.logLine("A phone operation is still running: Options refused.");
        return;
    }
    // The dialog shows what runs: the run-time copies the program changed (an attach that
    // turned the filter off) go into the record first.
    context_.runSettings.writeInto(context_.config);
    OptionsApplier applier(context_, *this, deviceView(), services_.companion);
    OptionsDialog dialog(
        context_.config, [this](int number) { return context_.log.message(number); },
        [&applier](const options::Choice& choice, int32_t modeAtOpening) {
            applier.apply(choice, modeAtOpening);
        },
        this);
    dialog.setFlagClicked([this](int32_t ConfigRecord::*flag) {
        options::shareClick(context_.config, context_.runSettings, flag);
    });
    dialog.exec();
    context_.log.setPackets(context_.config.logPackets != 0);
}

void MainWindow::startWithArgument() {
    hideStartupPicture();
    BatchRunner runBatch;
    if (services_.runPackage) {
        runBatch = [this](const std::string& path) { return services_.runPackage(*this, path); };
    }
    PackageStart(context_, runBatch).run(services_.commandLineArgument);
    if (services_.closeLink) services_.closeLink();
}

void MainWindow::checkForUpdate() {
    UpdateChecker::Settings settings;
    settings.server = QUrl(QString::fromStdString(services_.updateServer));
    if (!UpdateChecker::serverSet(settings.server)) return;
    settings.versionCode = update::versionCode(AboutDialog::kAboutText);
    settings.title = context_.log.message(PackageStart::kMsgTitle);
    settings.openLink = services_.openLink;
    auto* checker = new UpdateChecker(context_.log, context_.prompter, settings, this);
    connect(checker, &UpdateChecker::finished, checker, &QObject::deleteLater);
    checker->start();
}

}  // namespace mdk
