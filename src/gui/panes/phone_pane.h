#pragma once
#include <QIcon>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "panes/pane_types.h"
#include "panes/phone_source.h"

namespace mdk {

class AppContext;
class DeviceConnection;
class PaneHost;
class WorkerRunner;
struct PaneRow;

// The outside programs a phone pane starts, by command (empty: look one up).
struct EditorCommands {
    std::string hexEditor;   // hexEditor in the Linux settings, MARROWDECK_HEX_EDITOR
    std::string textEditor;  // textEditor in the Linux settings, MARROWDECK_TEXT_EDITOR
};

// The phone side of both panes: choosing a phone volume or the seem folder, listing a
// phone folder from the catalogue (the loader runs on the window's worker), navigating,
// opening phone files and seem records, and files dropped onto a phone pane. GUI thread.
class PhonePane final : public PhoneSource {
public:
    PhonePane(AppContext& context, PaneHost& host, WorkerRunner& workers);

    void setConnection(DeviceConnection* connection) { connection_ = connection; }
    void setEditors(EditorCommands editors) { editors_ = std::move(editors); }
    const EditorCommands& editors() const { return editors_; }

    // PhoneSource
    bool selectPhoneLocation(Side side, uint32_t index) override;
    void rereadPhone(Side side) override;
    void showPhoneFolder(Side side) override;
    void activatePhoneRow(Side side, const std::string& name) override;
    void dropOnPhone(Side side, const std::string& file) override;

    // False when refused (a worker still runs); nothing changed then.
    bool choosePhoneVolume(Side side, uint32_t index);
    void chooseSeemFolder(Side side);
    // Builds the rows of the pane's phone folder (loading the catalogue first when it is
    // not loaded); without a link the pane turns back into a PC pane.
    void listPhoneFolder(Side side);
    void listSeems(Side side);
    void listSeemRecords(Side side, const std::string& seemText);

    // Downloads a listed phone file of the pane into programFolder/Temp on the worker;
    // then(path) runs on the GUI thread only when the whole file was written.
    void downloadToTemp(Side side, const PaneRow& row, std::function<void(std::string)> then);
    // Opens a seem record row in the hex editor and offers to write a changed file back.
    void editSeemRecord(const std::string& rowName);
    // Runs the hex editor on path with the main window minimised; the file's stamp
    // changed (false also when no editor exists or it could not be started).
    bool editAndWait(const std::string& editor, const std::string& path);
    std::string hexEditor() const;
    // The viewers tried in turn for a phone or PC file (desktop default first).
    std::vector<std::string> viewers() const;
    // Downloads a phone file and opens it with the first viewer that starts.
    void openPhoneFile(Side side, const PaneRow& row);
    std::string tempFolder() const;

    // The row icon of a phone or seem row (templates with a fallback).
    QIcon rowIcon(Side side, const PaneRow& row) const;

private:
    // The attach pass of a volume choice or re-read, run on the worker behind the wait
    // dialog; true when the phone answered.
    bool attachPass(Side side);
    void turnIntoPcPane(Side side);
    void setDetailHeader(Side side, int message);
    void showVolumeEntry(Side side);
    const PaneRow* findRow(Side side, const std::string& name) const;
    QIcon templateIcon(const std::string& sampleName) const;

    AppContext& context_;
    PaneHost& host_;
    WorkerRunner& workers_;
    DeviceConnection* connection_ = nullptr;
    EditorCommands editors_;
    mutable std::map<std::string, QIcon> icons_;
};

}  // namespace mdk
