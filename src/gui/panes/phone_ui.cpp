#include "gui/panes/phone_ui.h"

#include "app/app_context.h"
#include "config/linux_settings.h"
#include "gui/panes/pane_host.h"
#include "gui/panes/phone_pane.h"
#include "gui/panes/view_edit.h"
#include "gui/panes/worker_runner.h"
#include "p2k/command_set.h"

namespace mdk {

PhoneUi::PhoneUi(AppContext& context, PaneHost& host, const LinuxSettings& settings)
    : host_(host),
      workers_(std::make_unique<WorkerRunner>(context.log, &host.hostWindow())),
      pane_(std::make_unique<PhonePane>(context, host, *workers_)),
      viewEdit_(std::make_unique<ViewEdit>(context, host, *pane_, *workers_)) {
    pane_->setEditors({settings.hexEditor, settings.textEditor});
    host_.setPhoneSource(pane_.get());
    viewEdit_->install();
    // The progress bar empties when an operation ends, whatever it reached; queued, so
    // the worker's own progress posts are drawn first.
    QObject::connect(workers_.get(), &WorkerRunner::jobFinished, workers_.get(), [this] {
        QMetaObject::invokeMethod(
            workers_.get(), [this] { host_.progressSink().setPosition(0); }, Qt::QueuedConnection);
    });
}

PhoneUi::~PhoneUi() {
    host_.setPhoneSource(nullptr);
}

void PhoneUi::setConnection(DeviceConnection* connection) {
    pane_->setConnection(connection);
}

void PhoneUi::setFolderOpener(std::function<void(const std::string&)> opener) {
    viewEdit_->setFolderOpener(std::move(opener));
}

ViewEdit& PhoneUi::viewEdit() {
    return *viewEdit_;
}

WorkerRunner& PhoneUi::workers() {
    return *workers_;
}

PhonePane& PhoneUi::phonePane() {
    return *pane_;
}

}  // namespace mdk
