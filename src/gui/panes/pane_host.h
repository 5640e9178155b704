#pragma once
#include <functional>

#include "panes/attribute_logic.h"
#include "panes/pane_types.h"

class QWidget;

namespace mdk {

class PaneController;
class PcPanes;
class PhoneSource;
class ProgressSink;

// What the phone pane, the transfers, View and Edit and the file commands need from the
// window that holds the two panes. The main window implements it; these classes never see
// the window itself. GUI thread only.
class PaneHost {
public:
    virtual ~PaneHost() = default;

    // The controller of one pane (its list, location list and rows).
    virtual PaneController& pane(Side side) const = 0;
    // The PC side of both panes (listing PC folders, choosing PC locations).
    virtual PcPanes& pcPanes() = 0;
    // The phone side of both panes, registered as the window is built (nullptr as the
    // phone side goes, when the window closes).
    virtual void setPhoneSource(PhoneSource* source) = 0;
    // The window's progress bar.
    virtual ProgressSink& progressSink() = 0;
    // The column-0 width that PC and phone listings restore.
    virtual int rememberedColumn0() const = 0;
    // Replaces the handler of a command id (button id for commands that have a button).
    virtual void setCommandHandler(int commandId, std::function<void()> handler) = 0;
    // Changes a phone file's attributes for dialog 1400.
    virtual void setAttributeWriter(AttributeWriter writer) = 0;
    // The top-level window: parent of the wait dialog, minimised while an editor runs.
    virtual QWidget& hostWindow() = 0;

protected:
    PaneHost() = default;
    PaneHost(const PaneHost&) = default;
    PaneHost& operator=(const PaneHost&) = default;
};

}  // namespace mdk
