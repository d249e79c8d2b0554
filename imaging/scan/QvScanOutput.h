// The file a multi-page scan writes: the library's page writer storing each page as it arrives
// (formats/QvMultiPageWriter.h, pcEachPage). Nothing replaces the target until a page is stored;
// the first page replaces it and every further page is appended, so the file is complete after
// each page. When no page is stored the target stays as it was.
#pragma once

#include <string>

#include "formats/QvMultiPageWriter.h"

namespace quorvane {

class TScanOutputFile : public TMultiPageWriter {
 public:
  // Makes the temporary file now, so a folder that cannot be written fails before any page is
  // scanned (EFCreateError naming the target).
  explicit TScanOutputFile(const std::string& target) : TMultiPageWriter(target, TPageCommit::pcEachPage) {}

  // Stores Image as it is as the next page.
  void StorePage(TDibGraphic& image) { AddPage(image); }
  int PagesStored() const { return PageCount(); }
  // The target's name as given.
  const std::string& FileName() const { return Target(); }
};

}  // namespace quorvane
