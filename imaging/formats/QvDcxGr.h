// DCX: a multi-page container of PCX images. The container must start at the beginning of the
// stream, since its page offsets are absolute stream positions.
#pragma once

#include "formats/QvPcxGr.h"
#include "model/QvExcept.h"

namespace quorvane {

QV_DECLARE_EXCEPTION(EDcxError);

class TDcxGraphic : public TPcxGraphic {
 public:
  QV_GRAPHIC_CLASS(TDcxGraphic)
  // Several PCX pages per file, each of any of the six formats.
  TGraphicCapabilities Capabilities() const override { return {true, kAllImageFormats}; }

  // Containers written here reserve this many table entries, so they hold at most one page less.
  static constexpr int kTableEntries = 1024;
  static constexpr uint32_t kSignature = 987654321;

  // Number of pages (0 for an empty table). Raises EDcxError "The DCX file header is not valid",
  // also for a table that has no end within its 1024 entries.
  int GetImageCount(TStream& stream) override;
  // Reads page Index (1-based) from its own extent of the stream.
  void LoadImageFromStream(TStream& stream, int index) override;
  // Writes a new container holding the image as its only page.
  void SaveToStream(TStream& stream) override;
  // Adds the image as a further page, or writes a new container into an empty stream. Raises
  // "The DCX file header is full" when no table entry is left; the container is then unchanged.
  void AppendToStream(TStream& stream) override;
};

}  // namespace quorvane
