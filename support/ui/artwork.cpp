#include "artwork.h"

// Outside any namespace, as the resource compiler's initialiser wants it.
static void initArtworkResource() {
    Q_INIT_RESOURCE(artwork);
}

namespace artwork {

void load() {
    static const bool loaded = [] {
        initArtworkResource();
        return true;
    }();
    (void)loaded;
}

QString bitmapPath(int number) {
    switch (number) {
        case 129:
            return QStringLiteral(":/artwork/device-phone.png");
        case 137:
            return QStringLiteral(":/artwork/device-small.png");
        case 138:
            return QStringLiteral(":/artwork/device-in-range.png");
        case 140:
            return QStringLiteral(":/artwork/activity-idle.png");
        case 146:
            return QStringLiteral(":/artwork/campaign-icons.png");
        case 151:
            return QStringLiteral(":/artwork/radio-panel.png");
        case 152:
            return QStringLiteral(":/artwork/activity-sending.png");
        default:
            return {};
    }
}

QPixmap bitmap(int number) {
    load();
    const QString path = bitmapPath(number);
    return path.isEmpty() ? QPixmap() : QPixmap(path);
}

QIcon programIcon() {
    load();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/artwork/icons/nyvex-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace artwork
