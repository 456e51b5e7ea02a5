#pragma once
// The station's pictures, compiled into the program from data/artwork (resource prefix
// ":/artwork/"), by their bitmap and icon numbers.

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace artwork {

// Makes the compiled-in pictures available; call once before the first picture is used (the
// functions below do it themselves).
void load();

// The resource path of bitmap `number` (129, 137, 138, 140, 146, 151, 152); empty for another.
QString bitmapPath(int number);
// Bitmap `number`; a null pixmap for a number without a picture.
QPixmap bitmap(int number);
// The program icon (icon 128) in all its sizes.
QIcon programIcon();

}  // namespace artwork
