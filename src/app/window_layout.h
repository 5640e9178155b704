#pragma once
#include <map>
#include <optional>

namespace mdk {

// A control's rectangle in the main window's client area; right and bottom are exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// Rectangles by control id.
using Placements = std::map<int, Rect>;

// The window rectangle exceeds the client area by the frame (8 pixels across) and by
// caption, menu and frame (50 pixels down); the layout rules are stated on the window
// rectangle.
inline constexpr int kFrameWidth = 8;
inline constexpr int kNonClientHeight = 50;

// Where the template puts a control before any layout (client pixels).
Rect templateRect(int controlId);
// Every control the layout places.
const std::map<int, Rect>& templateRects();

// The event log's hover geometry, recomputed by every layout.
struct HoverGeometry {
    int listBottom = 0;       // the left list's normal bottom edge
    int listBottomShort = 0;  // ... shortened by 200 pixels
    int logTop = 0;           // the event log's normal top edge
    int logTopRaised = 0;     // ... raised by 200 pixels
};

struct MainLayout {
    Placements rects;
    HoverGeometry hover;
    // New widths of column 0 of the left and right list (nullopt: unchanged).
    std::optional<int> leftColumn0;
    std::optional<int> rightColumn0;
    // The column-0 width that PC and phone listings restore (nullopt: unchanged).
    std::optional<int> rememberedColumn0;
};

inline constexpr int kSeemColumn0Width = 132;

// Places the controls for a window rectangle of the given size: W = width - 8,
// H = height - 141, M = W / 2. A pane showing the seem pseudo-folder keeps column 0 at 132.
MainLayout layoutMainWindow(int windowWidth, int windowHeight, bool leftShowsSeems,
                            bool rightShowsSeems);

// The window size of the template (624 by 446).
inline constexpr int kTemplateWindowWidth = 624;
inline constexpr int kTemplateWindowHeight = 446;
// The widths a PC listing sets on columns 1 and 2; column 0 follows the layout.
inline constexpr int kSizeColumnWidth = 68;
inline constexpr int kDateColumnWidth = 120;
inline constexpr int kNameColumnWidth = 140;

// The first window's width: the smallest, from the template's on, at which the layout
// shows all eight buttons inside the client area and each list holds its three columns
// beside listChrome pixels (its frame and vertical scroll bar). When the columns cannot
// fit at any width up to maxWidth, the smallest width that shows the buttons.
int defaultWindowWidth(int listChrome, int maxWidth = 4096);

// The right pane keeps at least 225 pixels: when the window width minus the left list's
// width is below that, the split moves to window width - 225. Returns whether it moved.
inline constexpr int kRightPaneMinimum = 225;
bool keepRightPaneWidth(int windowWidth, Placements& placements);

// The splitter between the lists: what a mouse move asks for.
enum class SplitterAction {
    None,
    Capture,        // the pointer is over the gap: sizing pointer, capture the mouse
    Release,        // a key state other than the left button alone: release the capture
    Move,           // the split follows the pointer
    ReleaseRelist,  // the pointer came within 210 pixels of either side: release, re-list
};
inline constexpr int kSplitterLimit = 210;

SplitterAction splitterMouseMove(bool captured, bool leftButtonOnly, int x, int y,
                                 const Rect& leftList, const Rect& rightList);

// The split moved to x: new rectangles of both lists, both path fields, the right combo
// and the right re-read button, and column 0 of each list wider than 328 pixels.
struct SplitLayout {
    Placements rects;
    std::optional<int> leftColumn0;
    std::optional<int> rightColumn0;
};
SplitLayout splitAt(int x, const Placements& current);

}  // namespace mdk
