#include "gui/panes/phone_ui.h"

#include <cstdlib>

#include "app/app_context.h"
#include "gui/panes/pane_host.h"
#include "gui/panes/phone_pane.h"
#include "gui/panes/view_edit.h"
#include "gui/panes/worker_runner.h"

namespace mdk {

namespace {

std::string environmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

PhoneUi::PhoneUi(AppContext& context, PaneHost& host)
    : host_(host),
      workers_(std::make_unique<WorkerRunner>(context.log, &host.hostWindow())),
      pane_(std::make_unique<PhonePane>(context, host, *workers_)),
      viewEdit_(std::make_unique<ViewEdit>(context, host, *pane_, *workers_)) {
    pane_->setEditors(
        {environmentText("MARROWDECK_HEX_EDITOR"), environmentText("MARROWDECK_TEXT_EDITOR")});
    host_.setPhoneSource(pane_.get());
    viewEdit_->install();
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
