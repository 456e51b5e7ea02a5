// The picture control stretches its picture over the whole control and leaves the key colour
// out; the station's pictures are compiled in with their sizes.

#include <QPainter>
#include <QTest>

#include "support/ui/artwork.h"
#include "support/ui/specialpic.h"

namespace {

const QColor background(10, 120, 30);
const QRgb red = qRgb(200, 0, 0);
const QRgb nearKey = qRgb(224, 223, 228);

// A 4 x 4 picture whose quadrants are key colour, red, the colour next to the key, and blue.
QPixmap quadrants() {
    QImage picture(4, 4, QImage::Format_RGB32);
    const QRgb colours[2][2] = {{CSpecialPic::keyColour, red}, {nearKey, qRgb(0, 0, 200)}};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            picture.setPixel(x, y, colours[y / 2][x / 2]);
        }
    }
    return QPixmap::fromImage(picture);
}

// What the control paints over the background, at its size.
QImage painted(CSpecialPic& control) {
    QImage canvas(control.size(), QImage::Format_RGB32);
    canvas.fill(background);
    control.render(&canvas, QPoint(), QRegion(), QWidget::DrawChildren);
    return canvas;
}

}  // namespace

class SpecialPicTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void stretchesThePictureAndLeavesTheKeyColourOut_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("larger than the picture") << QSize(40, 60);
        QTest::newRow("smaller than the picture") << QSize(2, 2);
    }
    void stretchesThePictureAndLeavesTheKeyColourOut() {
        QFETCH(QSize, size);
        CSpecialPic control;
        control.setPixmap(quadrants());
        control.resize(size);
        const QImage canvas = painted(control);
        const int w = size.width();
        const int h = size.height();
        QCOMPARE(QColor(canvas.pixel(w / 4, h / 4)), background);
        QCOMPARE(QColor(canvas.pixel(3 * w / 4, h / 4)), QColor(red));
        QCOMPARE(QColor(canvas.pixel(w / 4, 3 * h / 4)), QColor(nearKey));
        QCOMPARE(QColor(canvas.pixel(3 * w / 4, 3 * h / 4)), QColor(0, 0, 200));
    }

    void withoutAPicturePaintsNothing() {
        CSpecialPic control;
        control.resize(20, 20);
        const QImage canvas = painted(control);
        for (const QPoint at : {QPoint(0, 0), QPoint(10, 10), QPoint(19, 19)}) {
            QCOMPARE(QColor(canvas.pixel(at)), background);
        }
    }

    void aNewPictureReplacesTheOldOne() {
        CSpecialPic control;
        control.resize(8, 8);
        control.setPixmap(quadrants());
        painted(control);
        QPixmap plain(1, 1);
        plain.fill(QColor(red));
        control.setPixmap(plain);
        QCOMPARE(QColor(painted(control).pixel(1, 1)), QColor(red));
    }

    void theStationsPicturesHaveTheirSizes_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QSize>("size");
        QTest::newRow("129 device") << 129 << QSize(28, 44);
        QTest::newRow("137 small device") << 137 << QSize(12, 16);
        QTest::newRow("138 device in range") << 138 << QSize(48, 48);
        QTest::newRow("140 idle") << 140 << QSize(248, 135);
        QTest::newRow("146 campaign icons") << 146 << QSize(30, 15);
        QTest::newRow("151 radio panel") << 151 << QSize(208, 76);
        QTest::newRow("152 sending") << 152 << QSize(248, 135);
    }
    void theStationsPicturesHaveTheirSizes() {
        QFETCH(int, number);
        QFETCH(QSize, size);
        QCOMPARE(artwork::bitmap(number).size(), size);
    }

    void theProgramIconAndUnknownNumbers() {
        QVERIFY(!artwork::programIcon().pixmap(32, 32).isNull());
        QVERIFY(artwork::bitmap(4711).isNull());
    }
};

QTEST_MAIN(SpecialPicTest)
#include "tst_specialpic.moc"
