// Exchange of images with Qt's own graphics: QImage and QPixmap stand for the platform bitmap,
// QIcon for the platform icon, QPicture for the metafile, the QClipboard's image for the clipboard
// bitmap (clipboard format 2).
#pragma once

#include <QImage>
#include <QVariant>

#include "model/QvDiGrph.h"

class QClipboard;
class QIcon;
class QPicture;
class QPixmap;

namespace quorvane {

// Clipboard format numbers: the platform bitmap and the platform palette.
constexpr int kClipboardBitmap = 2;
constexpr int kClipboardPalette = 9;

// Copies a platform bitmap. 1 and 8-bit images keep their depth and colour table (a gray image
// without table gets a gray one); every other depth becomes TrueColor (alpha is dropped, the
// stored colours kept). Resolution from the bitmap's dots per metre where it lies in 1..65535
// dpi, else the screen's. Raises EInvalidGraphic "Invalid bitmap" for a null image.
void LoadFromBitmapHandle(TDibGraphic& image, const QImage& bitmap);

// Copies a platform graphic into the image: a QImage, QPixmap or QBitmap as a bitmap; a QIcon
// (at the standard icon size) or a QPicture (the metafile) drawn onto a black TrueColor image of its size.
// Anything else raises EConvertError "Cannot assign a %s to a %s" (the source's type name and
// "TDibGraphic").
void Assign(TDibGraphic& image, const QVariant& source);
void Assign(TDibGraphic& image, const QPicture& source);
// Pastes the clipboard's bitmap: LoadFromClipboardFormat(2, the clipboard's image).
void Assign(TDibGraphic& image, const QClipboard& clipboard);

// Copies the image into a platform graphic: a 24-bit QImage of the image's colours; a QPixmap;
// a QIcon made from the image written as an icon file. Any other destination raises
// EQuorvaneError "Cannot assign a %s to a %s" ("TDibGraphic" and the destination's type name).
void AssignTo(const TDibGraphic& image, QVariant& dest);
void AssignTo(const TDibGraphic& image, QImage& dest);
void AssignTo(const TDibGraphic& image, QPixmap& dest);
void AssignTo(const TDibGraphic& image, QIcon& dest);
// A metafile cannot take an image: always raises "Cannot assign a TDibGraphic to a QPicture".
void AssignTo(const TDibGraphic& image, QPicture& dest);

// Loads a clipboard bitmap. Only format 2 with a non-null image is accepted; anything else raises
// EInvalidGraphic "Unknown clipboard format, %d". The palette is not used.
void LoadFromClipboardFormat(TDibGraphic& image, int format, const QImage& data, const QVariant& palette = {});
// Renders the image as a clipboard bitmap: format 2, a one-bit image (Format_Mono) with the
// image's two colours as colour table for BlackWhite images, otherwise a 32-bit image of its
// colours; no palette. Raises EQuorvaneError "CopyBitmap: CreateBitmap failed" when the bitmap
// cannot be made.
void SaveToClipboardFormat(const TDibGraphic& image, int& format, QImage& data, QVariant& palette);
// Puts the image on the clipboard as SaveToClipboardFormat renders it, offered to other programs
// as PNG and BMP files encoded on worker threads (TClipboardImageData, QvDiGrphQtClipboard.h).
void CopyToClipboard(const TDibGraphic& image, QClipboard& clipboard);

// The image drawn onto black, as icons and metafiles become images: a TrueColor image of the
// source's size where transparent pixels leave black and translucent ones are blended onto it.
void DrawOntoBlack(TDibGraphic& image, const QImage& source);

}  // namespace quorvane
