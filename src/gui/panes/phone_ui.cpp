#include "gui/panes/phone_ui.h"

#include <cstdlib>

#include "app/app_context.h"
#include "gui/panes/phone_pane.h"
#include "gui/panes/worker_runner.h"
#include "gui/window/main_window.h"
#include "gui/window/view_edit.h"

namespace mdk {

namespace {

std::string environmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

PhoneUi::PhoneUi(AppContext& context, MainWindow& window)
    : window_(window),
      workers_(std::make_unique<WorkerRunner>(context.log, &window)),
      pane_(std::make_unique<PhonePane>(context, window, *workers_)),
      viewEdit_(std::make_unique<ViewEdit>(context, window, *pane_, *workers_)) {
    pane_->setEditors(
        {environmentText("MARROWDECK_HEX_EDITOR"), environmentText("MARROWDECK_TEXT_EDITOR")});
    window_.setPhoneSource(pane_.get());
    viewEdit_->install();
}

PhoneUi::~PhoneUi() {
    window_.setPhoneSource(nullptr);
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
