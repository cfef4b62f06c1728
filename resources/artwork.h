#pragma once
// Our own artwork, kept as SVG and rendered at the pixel sizes the panel's controls are made for.
// Resource ids are the numbers the panel, the cursor and the help window know the pictures by.

#include <QCursor>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace voltina {

namespace art {
constexpr int kPlugCursor = 999;
constexpr int kRedKnobFace = 1000;
constexpr int kSidewaysPlugOutput = 1001;
constexpr int kBlueKnobFace = 1009;
constexpr int kHelpArrowRight = 6005;  // 6005..6008: the help window's four corner arrows
constexpr int kHelpArrowUp = 6008;
}  // namespace art

// Registers the compiled-in pictures; the program and the tests call it once before the first picture.
void initArtwork();

// Empty path / size for an id that names no picture.
QString artworkPath(int resourceId);
QSize artworkSize(int resourceId);

// The picture at its own size in device-independent pixels, drawn for the given device pixel ratio so
// that it stays crisp on a 2x screen. A null pixmap for an unknown id or a picture that fails to parse.
QPixmap renderArtwork(int resourceId, qreal devicePixelRatio = 1.0);

// The jack cursor: 32 x 32 with its hot spot on the plug's tip at (15, 29).
QCursor plugCursor(qreal devicePixelRatio = 1.0);

}  // namespace voltina
