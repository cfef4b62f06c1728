#pragma once
// Dialog units to pixels with the panel font's base units of 7 x 13 pixels. The cord geometry was made
// for exactly these base units (the 16-unit step between an oscillator's two jacks is 26 pixels), so
// every template goes through here rather than through the font Qt happens to pick.

namespace voltina {

constexpr int kBaseUnitX = 7;
constexpr int kBaseUnitY = 13;

// Rounded to the nearest pixel, halves up.
constexpr int dluToPixelsX(int dlu) {
    return (dlu * kBaseUnitX * 2 + 4) / 8;
}
constexpr int dluToPixelsY(int dlu) {
    return (dlu * kBaseUnitY * 2 + 8) / 16;
}

struct PixelRect {
    int x, y, width, height;
};

struct DluRect {
    int x, y, width, height;
    constexpr PixelRect toPixels() const {
        return {dluToPixelsX(x), dluToPixelsY(y), dluToPixelsX(width), dluToPixelsY(height)};
    }
};

}  // namespace voltina
