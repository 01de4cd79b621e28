#include "ui/window_placement.h"

#include <algorithm>

namespace {

bool lf_showsGrip(const ScreenRect& titleBar, const ScreenRect& monitor) {
    const int shownWidth = std::min(titleBar.right, monitor.right) - std::max(titleBar.left, monitor.left);
    const int shownHeight = std::min(titleBar.bottom, monitor.bottom) - std::max(titleBar.top, monitor.top);
    return shownWidth >= kTitleBarGrab_px && shownHeight > 0;
}

// Left or top edge that keeps [edge, edge + size) inside [low, high); a
// window larger than the area keeps its start on it.
int lf_fitInto(int edge, int size, int low, int high) { return std::max(low, std::min(edge, high - size)); }

}  // namespace

void gf_placeOnAMonitor(int& x, int& y, int width, int height, const std::vector<ScreenRect>& monitors,
                        const ScreenRect& primaryWorkArea) {
    const ScreenRect titleBar{x, y, x + width, y + std::min(height, kTitleBarStrip_px)};
    if (std::any_of(monitors.begin(), monitors.end(),
                    [&titleBar](const ScreenRect& monitor) { return lf_showsGrip(titleBar, monitor); }))
        return;
    x = lf_fitInto(x, width, primaryWorkArea.left, primaryWorkArea.right);
    y = lf_fitInto(y, height, primaryWorkArea.top, primaryWorkArea.bottom);
}
