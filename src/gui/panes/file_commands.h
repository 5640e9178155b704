#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "gui/panes/transfers.h"
#include "panes/pane_types.h"

namespace mdk {

class AppContext;
class PaneHost;
class PhoneSource;
class WorkerRunner;

// The main window's commands that act on the panes' rows or on the phone as a whole:
// Copy, Delete, New folder, Re-Connect, Restart phone and the phone side of the
// attributes dialog. Phone commands are refused while a worker still runs.
class FileCommands {
public:
    // Dialog 1100: the new folder's name, nothing on Cancel.
    using NameAsker = std::function<std::optional<std::string>()>;

    FileCommands(AppContext& context, PaneHost& host, WorkerRunner& workers, PhoneSource& phone);

    // Replaces the window's handlers of the commands above and its attribute writer.
    void install();

    Transfers& transfers() { return transfers_; }
    void setNameAsker(NameAsker asker) { askName_ = std::move(asker); }
    // Moves a PC file or folder to the desktop trash (default: QFile::moveToTrash); false
    // when there is no trash to move it to.
    void setTrash(std::function<bool(const std::string&)> trash) { trash_ = std::move(trash); }
    // What Re-Connect runs: the device connection's modem-to-USBLAN switch.
    void setReconnect(std::function<void()> reconnect) { reconnect_ = std::move(reconnect); }

    void deleteSelection();
    void newFolder();
    void reconnect();
    void restartPhone();
    // "Switch to AT mode": the driver request under the phone-session lock.
    void switchToAtMode();
    // Dialog 1400's OK: open with the new attribute value, close, then the catalogue.
    void writeAttributes(const std::string& path, uint32_t value, uint32_t catalogueWord);

private:
    void deleteRow(Side side, LocationKind kind, const PaneRow& row);
    void deletePhoneRow(Side side, const PaneRow& row);
    void deletePcRow(const std::string& path, bool folder);
    std::string deleteQuestion(LocationKind kind, const PaneRow& row) const;
    void newPcFolder(Side side, const std::string& name);
    void newPhoneFolder(Side side, const std::string& name);
    void showPhoneRows(Side side);

    AppContext& context_;
    PaneHost& host_;
    WorkerRunner& workers_;
    PhoneSource& phone_;
    Transfers transfers_;
    NameAsker askName_;
    std::function<void()> reconnect_;
    std::function<bool(const std::string&)> trash_;
};

}  // namespace mdk
