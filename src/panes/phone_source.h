#pragma once
#include <cstdint>
#include <string>

#include "panes/pane_types.h"

namespace mdk {

// What a pane asks of the phone side (phone volumes, the seem pseudo-folder, uploads).
// The panes call it on the GUI thread; after each call the pane sorts its rows in
// nameSortMode, renumbers and focuses them.
class PhoneSource {
public:
    virtual ~PhoneSource() = default;
    // Entry index 0 to 3 (a phone volume) or 4 (the seem pseudo-folder) was chosen. False
    // when the choice was refused: the pane then keeps its previous location.
    virtual bool selectPhoneLocation(Side side, uint32_t index) = 0;
    // The re-read button of a pane that shows a phone location.
    virtual void rereadPhone(Side side) = 0;
    // Lists the pane's phone folder (or the seems) again from what is loaded, without
    // asking the phone (after a splitter drag or an attribute change).
    virtual void showPhoneFolder(Side side) = 0;
    // A row of a phone or seem pane was activated (".." goes up).
    virtual void activatePhoneRow(Side side, const std::string& name) = 0;
    // A PC file dropped or pasted onto a pane that shows a phone volume.
    virtual void dropOnPhone(Side side, const std::string& file) = 0;
};

}  // namespace mdk
