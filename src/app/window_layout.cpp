#include "app/window_layout.h"

#include "app/control_ids.h"

namespace mdk {

using namespace ids;

namespace {

// The template's own geometry, for a window of the default size (624 by 446).
constexpr int kTemplateM = 308;
constexpr int kTemplateW = 616;
constexpr int kTemplateH = 305;

}  // namespace

const std::map<int, Rect>& templateRects() {
    static const std::map<int, Rect> rects = {
        {kLeftCombo, {2, 2, 157, 24}},
        {kLeftReread, {158, 2, 243, 24}},
        {kRightCombo, {kTemplateM + 2, 2, kTemplateM + 157, 24}},
        {kRightReread, {kTemplateM + 158, 2, kTemplateM + 243, 24}},
        {kLeftPath, {2, 26, kTemplateM, 46}},
        {kRightPath, {kTemplateM + 2, 26, kTemplateW - 2, 46}},
        {kLeftList, {2, 48, kTemplateM, kTemplateH}},
        {kRightList, {kTemplateM + 2, 48, kTemplateW - 2, kTemplateH}},
        {kEventLog, {2, kTemplateH + 2, kTemplateM, kTemplateH + 62}},
        {kView, {0, 0, 0, 0}},
        {kEdit, {0, 0, 0, 0}},
        {kAttributes, {0, 0, 0, 0}},
        {kRestart, {0, 0, 0, 0}},
        {kSeemFunc, {0, 0, 0, 0}},
        {kCopy, {0, 0, 0, 0}},
        {kNewFolder, {0, 0, 0, 0}},
        {kDelete, {0, 0, 0, 0}},
        {kProgress, {0, 0, 0, 0}},
        {kStatusBar, {0, kTemplateH + 66, kTemplateW, kTemplateH + 88}},
    };
    return rects;
}

Rect templateRect(int controlId) {
    auto found = templateRects().find(controlId);
    return found == templateRects().end() ? Rect{} : found->second;
}

MainLayout layoutMainWindow(int windowWidth, int windowHeight, bool leftShowsSeems,
                            bool rightShowsSeems) {
    const int W = windowWidth - kFrameWidth;
    const int H = windowHeight - 141;
    const int M = W / 2;
    auto keep = [](int id) { return templateRect(id); };
    MainLayout out;
    Placements& r = out.rects;
    r[kLeftCombo] = keep(kLeftCombo);
    r[kLeftReread] = keep(kLeftReread);
    r[kLeftList] = {keep(kLeftList).left, keep(kLeftList).top, M, H};
    r[kRightList] = {M + 2, keep(kRightList).top, W - 2, H};
    r[kLeftPath] = {keep(kLeftPath).left, keep(kLeftPath).top, M, keep(kLeftPath).bottom};
    r[kRightPath] = {M + 2, keep(kRightPath).top, W - 2, keep(kRightPath).bottom};
    r[kRightCombo] = {M + 2, keep(kRightCombo).top, M + 157, keep(kRightCombo).bottom};
    r[kRightReread] = {M + 158, keep(kRightReread).top, M + 243, keep(kRightReread).bottom};
    r[kEventLog] = {keep(kEventLog).left, H + 2, M, H + 62};
    r[kView] = {M + 3, H + 2, M + 104, H + 32};
    r[kEdit] = {M + 105, H + 2, M + 205, H + 32};
    r[kAttributes] = {M + 206, H + 2, M + 306, H + 32};
    r[kRestart] = {M + 307, H + 2, M + 407, H + 32};
    r[kSeemFunc] = {M + 3, H + 32, M + 104, H + 62};
    r[kCopy] = {M + 105, H + 32, M + 205, H + 62};
    r[kNewFolder] = {M + 206, H + 32, M + 306, H + 62};
    r[kDelete] = {M + 307, H + 32, M + 407, H + 62};
    r[kProgress] = {M + 3, H + 68, W - 2, H + 85};
    const Rect status = keep(kStatusBar);
    r[kStatusBar] = {status.left, H + 66, W, H + 88};

    out.hover = {H, H - 200, H + 2, H - 198};
    if (M > 344) {
        out.rememberedColumn0 = M - 212;
        out.leftColumn0 = leftShowsSeems ? kSeemColumn0Width : M - 212;
        out.rightColumn0 = rightShowsSeems ? kSeemColumn0Width : M - 212;
    } else if (M < 343) {
        out.leftColumn0 = kSeemColumn0Width;
        out.rightColumn0 = kSeemColumn0Width;
    }
    return out;
}

namespace {

// The width column 0 gets from the layout (the name column's own width when unchanged).
int nameColumnWidth(const MainLayout& layout) {
    return layout.leftColumn0.value_or(kNameColumnWidth);
}

bool buttonsShown(const MainLayout& layout, int clientWidth) {
    for (int id : {kView, kEdit, kAttributes, kRestart, kSeemFunc, kCopy, kNewFolder, kDelete}) {
        if (layout.rects.at(id).right > clientWidth) return false;
    }
    return true;
}

bool columnsShown(const MainLayout& layout, int listChrome) {
    const int columns = nameColumnWidth(layout) + kSizeColumnWidth + kDateColumnWidth;
    for (int id : {kLeftList, kRightList}) {
        if (layout.rects.at(id).width() < columns + listChrome) return false;
    }
    return true;
}

}  // namespace

int defaultWindowWidth(int listChrome, int maxWidth) {
    int buttonsOnly = 0;
    for (int width = kTemplateWindowWidth; width <= maxWidth; ++width) {
        const MainLayout layout = layoutMainWindow(width, kTemplateWindowHeight, false, false);
        if (!buttonsShown(layout, width - kFrameWidth)) continue;
        if (buttonsOnly == 0) buttonsOnly = width;
        if (columnsShown(layout, listChrome)) return width;
    }
    return buttonsOnly != 0 ? buttonsOnly : maxWidth;
}

bool keepRightPaneWidth(int windowWidth, Placements& p) {
    const int leftWidth = p[kLeftList].width();
    if (windowWidth - leftWidth >= kRightPaneMinimum) return false;
    const int split = windowWidth - kRightPaneMinimum;
    p[kLeftList].right = split;
    p[kLeftPath].right = split;
    p[kRightList].left = split + 4;
    p[kRightPath].left = split + 4;
    p[kRightCombo].left = split + 4;
    p[kRightCombo].right = p[kRightCombo].left + 134;
    p[kRightReread].left = p[kRightCombo].right + 1;
    p[kRightReread].right = p[kRightReread].left + 75;
    return true;
}

SplitterAction splitterMouseMove(bool captured, bool leftButtonOnly, int x, int y,
                                 const Rect& leftList, const Rect& rightList) {
    if (x > leftList.right && x < rightList.left && y < leftList.bottom) {
        return SplitterAction::Capture;
    }
    if (!captured) return SplitterAction::None;
    if (!leftButtonOnly) return SplitterAction::Release;
    if (x > kSplitterLimit && rightList.right - x > kSplitterLimit) return SplitterAction::Move;
    return SplitterAction::ReleaseRelist;
}

SplitLayout splitAt(int x, const Placements& current) {
    SplitLayout out;
    auto get = [&](int id) {
        auto found = current.find(id);
        return found == current.end() ? templateRect(id) : found->second;
    };
    Placements& r = out.rects;
    r[kLeftList] = get(kLeftList);
    r[kLeftList].right = x;
    r[kLeftPath] = get(kLeftPath);
    r[kLeftPath].right = x;
    r[kRightList] = get(kRightList);
    r[kRightList].left = x + 4;
    r[kRightPath] = get(kRightPath);
    r[kRightPath].left = x + 4;
    r[kRightCombo] = get(kRightCombo);
    r[kRightCombo].left = x + 4;
    r[kRightCombo].right = x + 138;
    r[kRightReread] = get(kRightReread);
    r[kRightReread].left = x + 139;
    r[kRightReread].right = x + 214;
    if (r[kLeftList].width() > 328) out.leftColumn0 = r[kLeftList].width() - 188;
    if (r[kRightList].width() > 328) out.rightColumn0 = r[kRightList].width() - 188;
    return out;
}

}  // namespace mdk
