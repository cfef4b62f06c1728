#include "resources/artwork.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

static void registerArtworkResource() {
    Q_INIT_RESOURCE(artwork);
}

namespace voltina {
namespace {

struct Picture {
    int id;
    const char* file;
    int width;
    int height;
};

constexpr Picture kPictures[] = {
    {999, "plug_cursor.svg", 32, 32},
    {1000, "knob_red.svg", 36, 38},
    {1009, "knob_blue.svg", 36, 38},
    {1001, "jack_out_plugged_side.svg", 28, 26},
    {1003, "type_sine_dark.svg", 18, 19},
    {3003, "type_sine_lit.svg", 18, 19},
    {1004, "type_pulse_dark.svg", 18, 19},
    {3004, "type_pulse_lit.svg", 18, 19},
    {1005, "type_ramp_dark.svg", 18, 19},
    {3005, "type_ramp_lit.svg", 18, 19},
    {1006, "type_random_dark.svg", 18, 19},
    {3006, "type_random_lit.svg", 18, 19},
    {1007, "jack_in_empty.svg", 28, 26},
    {3007, "jack_in_plugged.svg", 28, 26},
    {1008, "jack_out_empty.svg", 28, 26},
    {3008, "jack_out_plugged.svg", 28, 26},
    {1010, "sign_equals.svg", 17, 17},
    {1011, "sign_plus.svg", 17, 17},
    {1012, "sign_times.svg", 17, 17},
    {1013, "sign_sin.svg", 17, 17},
    {1014, "sign_minus.svg", 17, 17},
    {1015, "speaker_off.svg", 40, 36},
    {3015, "speaker_on.svg", 40, 36},
    {1016, "record_off.svg", 180, 24},
    {3016, "record_on.svg", 180, 24},
    {6005, "arrow_down.svg", 32, 32},   // top right, heading for the bottom right corner
    {6006, "arrow_right.svg", 32, 32},  // top left
    {6007, "arrow_left.svg", 32, 32},   // bottom right
    {6008, "arrow_up.svg", 32, 32},     // bottom left
};

const Picture* find(int id) {
    for (const Picture& p : kPictures) {
        if (p.id == id) return &p;
    }
    return nullptr;
}

}  // namespace

void initArtwork() {
    static bool done = false;
    if (!done) {
        registerArtworkResource();
        done = true;
    }
}

QString artworkPath(int resourceId) {
    const Picture* p = find(resourceId);
    return p ? QStringLiteral(":/art/") + QLatin1String(p->file) : QString();
}

QSize artworkSize(int resourceId) {
    const Picture* p = find(resourceId);
    return p ? QSize(p->width, p->height) : QSize();
}

QPixmap renderArtwork(int resourceId, qreal devicePixelRatio) {
    initArtwork();
    const Picture* p = find(resourceId);
    if (!p) return {};
    QSvgRenderer renderer(artworkPath(resourceId));
    if (!renderer.isValid()) return {};
    const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image(static_cast<int>(std::ceil(p->width * dpr)), static_cast<int>(std::ceil(p->height * dpr)),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, image.width(), image.height()));
    }
    image.setDevicePixelRatio(dpr);
    return QPixmap::fromImage(image);
}

QCursor plugCursor(qreal devicePixelRatio) {
    const QPixmap pixmap = renderArtwork(art::kPlugCursor, devicePixelRatio);
    if (pixmap.isNull()) return QCursor(Qt::PointingHandCursor);
    // Hot spot in device-independent pixels: Qt scales it with the pixmap's ratio.
    return QCursor(pixmap, 15, 29);
}

}  // namespace voltina
