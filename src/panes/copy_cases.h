#pragma once
#include <optional>

#include "panes/pane_types.h"

namespace mdk {

// The six cases of the Copy command, tested in this order; the first that fits runs.
enum class CopyCase {
    PcToPc,        // copy each selected PC row into the other PC folder
    PhoneToPhone,  // logged only
    Download,      // phone volume to any other pane
    Upload,        // any other pane to a phone volume
    SeemDownload,  // seem folder to any other pane
    SeemUpload,    // any other pane to the seem folder
};

// What the Copy command does for one pair of panes.
struct CopyPlan {
    CopyCase copyCase = CopyCase::PcToPc;
    // The numbered message logged first (47 to 52), if any.
    std::optional<int> message;
    // False where the case fits but its rows cannot be copied: a download or seem
    // download needs a PC folder as target, an upload needs PC rows as its source.
    bool runnable = true;
};

// The copy case for source pane kind, destination pane kind, and the active (source) side.
CopyPlan planCopy(LocationKind source, LocationKind destination, Side active);

}  // namespace mdk
