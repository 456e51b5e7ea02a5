#include "specialpic.h"

#include <QPainter>

CSpecialPic::CSpecialPic(QWidget* parent) : QLabel(parent) {}

QImage CSpecialPic::withoutKeyColour(const QImage& picture) {
    QImage out = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (line[x] == keyColour) {
                line[x] = 0;
            }
        }
    }
    return out;
}

const QImage& CSpecialPic::keyedPicture() {
    const QPixmap assigned = pixmap();
    if (assigned.isNull()) {
        keyed = QImage();
        keyedFrom = 0;
    } else if (assigned.cacheKey() != keyedFrom) {
        keyed = withoutKeyColour(assigned.toImage());
        keyedFrom = assigned.cacheKey();
    }
    return keyed;
}

void CSpecialPic::paintEvent(QPaintEvent* /*event*/) {
    const QImage& picture = keyedPicture();
    if (picture.isNull()) {
        return;
    }
    // The key colour is out before the picture is stretched, so smoothing never blends it into
    // the edges.
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), picture);
}
