// The picture loader of the platform: reads the files whose extension the registry does not know,
// through QImageReader (BMP, icons, GIF, the portable any-maps, XPM, WebP and whatever else the
// installed Qt and its image format plugins read) and through libheif (HEIC and AVIF). No
// display is needed.
#pragma once

#include "model/QvPlatform.h"

namespace quorvane {

class TQtPictureLoader : public IPictureLoader {
 public:
  // "Bitmaps" bmp and "Icons" ico first, then the other extensions Qt reads and the HEIF ones
  // libheif decodes, in alphabetical order; extensions the registry knows are left to the registry.
  std::vector<TPlatformPictureFormat> Formats() const override;
  // Decided by the file's extension. Bitmaps of 1, 4 and 8 bits keep their depth and colour
  // table, deeper ones become TrueColor; an icon's picture nearest the standard icon size is
  // drawn onto black. With AllImages an animation's frames (GIF, WebP, MNG) become the image's
  // frames. HEIC and AVIF files give their primary picture (see LoadHeifImage). Refuses
  // sizes beyond the library's limits with "CreateDibSection failed" before decoding, and
  // unreadable files with EInvalidGraphic carrying Qt's reason (EHeifError with libheif's).
  std::unique_ptr<TDibGraphic> LoadFromFile(const std::string& fileName, bool allImages) override;
};

}  // namespace quorvane
