// The pages of an input file: read by the image class registered for its extension, or, for an
// extension the registry does not know, by the platform's picture loader (whose pictures are
// read whole once; the frames of an animation are its pages).
#pragma once

#include <memory>
#include <string>

#include "model/QvDiGrph.h"
#include "model/QvStream.h"

namespace brindlex {

class TInputPages {
 public:
  // Opens File; raises the stream's error, and for an extension nobody reads the registry's
  // "Graphic files of %s format are not supported or not registered".
  explicit TInputPages(const std::string& file);
  ~TInputPages();
  TInputPages(const TInputPages&) = delete;
  TInputPages& operator=(const TInputPages&) = delete;

  int Count() const { return FCount; }
  // Page Page (1-based, within Count) as a new image. Pages read by the platform's loader are
  // handed over: each of them can be loaded once.
  std::unique_ptr<quorvane::TDibGraphic> Load(int page);
  // The class registered for the file's extension; nullptr when the platform's loader reads it.
  const quorvane::TGraphicClass* RegisteredClass() const { return FClass; }
  // Reads page Page into Image, an instance of RegisteredClass().
  void LoadInto(quorvane::TDibGraphic& image, int page);
  // The class that reads the file ("TDibGraphic" for the platform's loader).
  std::string ClassName() const { return FClassName; }

 private:
  std::unique_ptr<quorvane::TStream> FStream;
  const quorvane::TGraphicClass* FClass = nullptr;
  std::unique_ptr<quorvane::TDibGraphic> FPicture;  // the loader's picture, frames included
  std::string FClassName;
  int FCount = 0;
};

}  // namespace brindlex
