#include "panes/phone_source.h"

#include "base/event_log.h"

namespace mdk {

namespace {

std::string sideName(Side side) {
    return side == Side::Left ? "left" : "right";
}

}  // namespace

bool PendingPhoneSource::selectPhoneLocation(Side side, uint32_t index) {
    log_.logLine("Phone pane (" + sideName(side) + ", location " + std::to_string(index) +
                 "): not built yet.");
    return true;
}

void PendingPhoneSource::rereadPhone(Side side) {
    log_.logLine("Re-read of the " + sideName(side) + " phone pane: not built yet.");
}

void PendingPhoneSource::showPhoneFolder(Side side) {
    log_.logLine("Listing of the " + sideName(side) + " phone pane: not built yet.");
}

void PendingPhoneSource::activatePhoneRow(Side side, const std::string& name) {
    log_.logLine("Opening " + name + " in the " + sideName(side) + " phone pane: not built yet.");
}

void PendingPhoneSource::dropOnPhone(Side, const std::string& file) {
    log_.logLine("Upload of " + file + " by drop: not built yet.");
}

}  // namespace mdk
