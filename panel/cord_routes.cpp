#include "panel/cord_routes.h"

#include <cstdlib>

namespace voltina {

int cordLane(int outputY) {
    // C++ division truncates toward zero, as the lane is defined for outputs near the top edge too.
    return (outputY - 23) / 26 + 16;
}

int cordLift(int inputX) {
    if (inputX < 161) return 2;
    if (inputX < 210) return 4;
    if (inputX < 259) return 6;
    if (inputX < 352) return 8;
    if (inputX < 401) return 10;
    if (inputX < 450) return 12;
    if (inputX < 555) return 14;
    return 16;
}

std::vector<PanelPoint> cordRoute(int outputIndex, PanelPoint out, PanelPoint in) {
    const int lane = cordLane(out.y);
    const int lift = cordLift(in.x);
    if (isSidewaysOutput(outputIndex)) {
        return {{out.x + kSidewaysExitDx, out.y + kSidewaysExitDy},
                {out.x + lane, out.y + kSidewaysExitDy},
                {out.x + lane, in.y - lift},
                {in.x, in.y - lift},
                in};
    }
    return {out,
            {out.x, out.y - lift},
            {out.x + lane, out.y - lift},
            {out.x + lane, in.y - lift},
            {in.x, in.y - lift},
            in};
}

void appendLinePixels(PanelPoint a, PanelPoint b, std::vector<PanelPoint>& pixels) {
    const int dx = std::abs(b.x - a.x);
    const int dy = std::abs(b.y - a.y);
    const int sx = a.x < b.x ? 1 : -1;
    const int sy = a.y < b.y ? 1 : -1;
    int err = dx - dy;
    PanelPoint p = a;
    while (p != b) {
        pixels.push_back(p);
        const int e2 = 2 * err;
        if (e2 > -dy) {
            err -= dy;
            p.x += sx;
        }
        if (e2 < dx) {
            err += dx;
            p.y += sy;
        }
    }
}

std::vector<PanelPoint> polylinePixels(const std::vector<PanelPoint>& polyline) {
    std::vector<PanelPoint> pixels;
    for (std::size_t k = 1; k < polyline.size(); ++k) appendLinePixels(polyline[k - 1], polyline[k], pixels);
    return pixels;
}

}  // namespace voltina
