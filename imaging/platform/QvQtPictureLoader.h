// The picture loader of the platform: reads, through QImageReader, the files whose extension the
// registry does not know (BMP, icons, GIF, the portable any-maps, XPM and whatever else the
// installed Qt reads). No display is needed.
#pragma once

#include "model/QvPlatform.h"

namespace quorvane {

class TQtPictureLoader : public IPictureLoader {
 public:
  // "Bitmaps" bmp and "Icons" ico first, then the other extensions Qt reads in alphabetical
  // order; extensions the registry knows are left to the registry.
  std::vector<TPlatformPictureFormat> Formats() const override;
  // Decided by the file's extension. Bitmaps of 1, 4 and 8 bits keep their depth and colour
  // table, deeper ones become TrueColor; an icon's picture nearest the standard icon size is
  // drawn onto black. With AllImages an animation's frames become the image's frames. Refuses
  // sizes beyond the library's limits with "CreateDibSection failed" before decoding, and
  // unreadable files with EInvalidGraphic carrying the reader's reason.
  std::unique_ptr<TDibGraphic> LoadFromFile(const std::string& fileName, bool allImages) override;
};

}  // namespace quorvane
