#pragma once
// The picture control: shows the picture assigned to it stretched over the whole control, with
// the key colour RGB(224, 223, 227) left out so that the window shows through. A control without
// a picture paints nothing. The picture is assigned like a label's (setPixmap, or the form's
// "pixmap" property).

#include <QImage>
#include <QLabel>

class CSpecialPic : public QLabel {
    Q_OBJECT

  public:
    static constexpr QRgb keyColour = 0xFFE0DFE3;  // RGB(224, 223, 227), opaque

    explicit CSpecialPic(QWidget* parent = nullptr);

    // The picture with every pixel of exactly the key colour made transparent.
    static QImage withoutKeyColour(const QImage& picture);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // The picture assigned now, its key colour taken out; cached per assigned picture.
    const QImage& keyedPicture();

    qint64 keyedFrom = 0;
    QImage keyed;
};
