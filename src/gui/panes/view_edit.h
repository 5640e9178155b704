#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "panes/pane_types.h"

namespace mdk {

class AppContext;
class PaneHost;
class PhonePane;
class WorkerRunner;

// The View (1007) and Edit (1026) commands on the first selected row of the active pane:
// phone files through a downloaded copy in programFolder/Temp (an edited copy is offered
// back to the phone), seem records in the hex editor, PC files in the viewer or the text
// editor, PC folders with the desktop's default program.
class ViewEdit {
public:
    ViewEdit(AppContext& context, PaneHost& host, PhonePane& phone, WorkerRunner& workers);

    // Installs the two command handlers.
    void install();
    // Opens a PC folder (default: xdg-open).
    void setFolderOpener(std::function<void(const std::string&)> opener) {
        openFolder_ = std::move(opener);
    }

    void view();
    void edit();

private:
    struct Target;
    // The phone file an edited copy is written back to, fixed when its download starts.
    struct WriteBack {
        std::string phonePath;
        uint32_t openMode = 0;
    };
    bool firstSelected(Target& target) const;
    void editPhoneFile(Side side, const std::string& name);
    void uploadBack(Side side, const std::string& localPath, const WriteBack& target);
    uint32_t catalogueWordOf(const std::string& phonePath) const;
    void openPc(const Target& target, bool edit);

    AppContext& context_;
    PaneHost& host_;
    PhonePane& phone_;
    WorkerRunner& workers_;
    std::function<void(const std::string&)> openFolder_;
};

}  // namespace mdk
