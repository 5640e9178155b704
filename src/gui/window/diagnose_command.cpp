#include "gui/window/diagnose_command.h"

#include <memory>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "device/detect.h"
#include "gui/dialogs/diagnose_dialog.h"
#include "gui/panes/worker_runner.h"
#include "gui/window/main_window.h"

namespace mdk {

DiagnoseCommand::DiagnoseCommand(AppContext& context, MainWindow& window, WorkerRunner& workers,
                                 std::string linkAddress)
    : context_(context), window_(window), workers_(workers), address_(std::move(linkAddress)) {
    show_ = [this](const std::string& report) {
        DiagnoseDialog dialog(report, context_.prompter, &window_);
        dialog.exec();
    };
}

void DiagnoseCommand::install() {
    window_.setCommandHandler(ids::kMenuDiagnose, [this] { diagnose(); });
}

void DiagnoseCommand::diagnose() {
    auto report = std::make_shared<DetectReport>();
    AppContext& context = context_;
    auto job = [report, &context, root = root_, address = address_] {
        *report = startDetect(UsbSysfs(root), systemAddresses());
        const std::shared_ptr<DriverLink> link = context.driver.link();
        if (link && link->isOpen()) {
            // The window's own link: its lock is ours already.
            report->probe = probePhone(context.driver, context.transport, context.commands);
        } else if (checkPhoneLock(address, *report)) {
            report->probe.note = "this program has no link to the phone open";
        }
        report->probe.address = address;
        concludeDetect(*report);
    };
    workers_.run(DiagnoseDialog::kTitle, job, [this, report] { show_(detectText(*report)); });
}

}  // namespace mdk
