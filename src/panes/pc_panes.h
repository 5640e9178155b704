#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "panes/pane_set.h"
#include "panes/pc_listing.h"

namespace mdk {

class EventLog;
struct ConfigRecord;

// What activating a row of a PC pane asks for.
struct Activation {
    enum class Kind { Entered, OpenWithShell } kind = Kind::Entered;
    std::string path;  // the folder entered, or the file to open with its default program
};

enum class DropOutcome {
    CopiedToPc,  // both panes show PC folders: the file was copied (unless it existed)
    ToPhone,     // the target pane shows a phone volume and the other does not
    Ignored,     // any other pair of panes
};

// The PC side of both panes: entering locations, listing folders, activating rows,
// favourites and drops. Runs on the GUI thread; the location entries it reads may be
// rebuilt by other threads through the PaneSet.
class PcPanes {
public:
    PcPanes(PaneSet& panes, EventLog& log) : panes_(panes), log_(log) {}

    void setDateFormatter(DateFormatter formatter) { dateText_ = std::move(formatter); }

    // Entries 0 to 4 as they are, then the drive entries, then the stored favourite.
    void fillLocations(Side side, const std::vector<LocationEntry>& drives,
                       const std::string& favourite);

    // Makes combo entry index the pane's PC folder: a favourite opens the folder after the
    // "_" marker, a drive entry the last folder visited below it in this run, else its
    // root. The left pane logs the entry's text. False when the folder cannot be entered.
    bool enterPcLocation(Side side, uint32_t index);
    // A location chosen in the combo or re-read: enter it, falling back to entry 6 (also in
    // locationIndex), then list.
    void selectPcLocation(Side side, uint32_t index);
    // The pane opens at start-up: a saved index below 5 becomes 6; the saved folder is
    // entered when it can be, else the location itself (with the fallback); then listed.
    void startPane(Side side, uint32_t savedIndex, const std::string& savedFolder);
    // Fills the pane's rows from its folder, sorted in nameSortMode and renumbered.
    void listPcFolder(Side side);

    // The focused row's name: a folder is entered and listed, anything else is handed to
    // the desktop to open.
    Activation activatePcRow(Side side, const std::string& name);
    // The pane's folder lies below its root (Backspace and ".." go up only then).
    bool belowRoot(Side side) const;
    const std::string& root(Side side) const { return roots_[index(side)]; }

    // A file dropped or pasted onto a pane.
    DropOutcome dropFileOnPane(Side target, const std::string& file);

    // "Add favourite folder": "_" and the left pane's folder, appended to both lists and
    // stored. A text longer than the stored field is refused (false), never cut.
    bool addFavourite(ConfigRecord& config);
    // "Delete favourite folder": the first favourite of the left list goes from both lists.
    bool deleteFavourite(ConfigRecord& config);

private:
    static size_t index(Side side) { return static_cast<size_t>(sideIndex(side)); }
    bool enterFolder(Side side, const std::string& folder);
    void showFolder(Side side, const std::string& folder);

    PaneSet& panes_;
    EventLog& log_;
    DateFormatter dateText_ = defaultDateText;
    std::array<std::string, 2> roots_{"/", "/"};
    // The last folder listed below each drive root in this run, shared by both panes.
    std::map<std::string, std::string> lastVisited_;
};

}  // namespace mdk
