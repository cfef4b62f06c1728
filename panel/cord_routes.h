#pragma once
// Where a cord runs on the panel: right-angled polylines from an output jack to an input jack, and the
// pixels a move-to/line-to segment lights. Plain integer geometry in panel client pixels, so the
// overlay draws exactly what the tests compute.

#include <vector>

namespace voltina {

struct PanelPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(PanelPoint a, PanelPoint b) { return a.x == b.x && a.y == b.y; }
    friend bool operator!=(PanelPoint a, PanelPoint b) { return !(a == b); }
};

// A jack's jack point is this far right of its control's left edge, on its top edge.
constexpr int kJackPointDx = 14;
// Cords of the sideways outputs leave the plug here, relative to the jack point.
constexpr int kSidewaysExitDx = 14;
constexpr int kSidewaysExitDy = 13;
// A held sideways output anchors the rubber band on its plug.
constexpr int kSidewaysBandDx = 14;
constexpr int kSidewaysBandDy = 14;

// Oscillator outputs 0..7 and 20..27: their plugs face right, so their cords leave sideways.
constexpr bool isSidewaysOutput(int outputIndex) {
    return (outputIndex >= 0 && outputIndex <= 7) || (outputIndex >= 20 && outputIndex <= 27);
}

// Horizontal distance from the output's jack point to the cord's vertical run: one pixel further right
// for every 26 pixels (one oscillator jack step) that the output lies lower, so parallel cords separate.
int cordLane(int outputY);
// Height of the horizontal runs above the jacks, by the input's column, so that columns do not share runs.
int cordLift(int inputX);

// The polyline of the cord from output `outputIndex` (jack point `out`) to the input with jack point `in`.
std::vector<PanelPoint> cordRoute(int outputIndex, PanelPoint out, PanelPoint in);

// The pixels a line from a to b lights when drawn with move-to/line-to: every pixel up to, but not
// including, b. Straight runs for horizontal and vertical segments; a Bresenham line otherwise.
void appendLinePixels(PanelPoint a, PanelPoint b, std::vector<PanelPoint>& pixels);
std::vector<PanelPoint> polylinePixels(const std::vector<PanelPoint>& polyline);

}  // namespace voltina
