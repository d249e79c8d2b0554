// File > Properties: what is known of the picture shown (size, pixel format, resolution, pages),
// of its file (format, size on disk) and, when the file has EXIF data, of the camera that took it
// (make and model, date taken, exposure, aperture, focal length).
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "model/QvMetadata.h"

class QLabel;

namespace brindlex {

class TImageDocument;

struct TPropertyRow {
  QString Label;
  QString Value;
};

struct TPropertySection {
  QString Title;
  std::vector<TPropertyRow> Rows;
};

// The sections shown for the document: "Image" always, "File" when the picture has a file, and
// "Camera" when that file holds EXIF data with any of the camera's fields.
std::vector<TPropertySection> DocumentProperties(const TImageDocument& document);

// Texts of the camera's values as the dialog shows them: "1/125 s", "2.5 s"; "f/2.8"; "4.3 mm";
// "2023-06-14 09:30:12" for the EXIF "2023:06:14 09:30:12"; make and model without the make
// twice ("Canon" with "Canon EOS 80D" is "Canon EOS 80D").
QString ExposureText(double seconds);
QString ApertureText(double fNumber);
QString FocalLengthText(double millimetres);
QString DateTakenText(const std::string& exifDate);
QString CameraText(const quorvane::TCameraData& camera);
// "2.5 MB (2,512,345 bytes)" in the user's locale.
QString FileSizeText(uint64_t bytes);
// The description the registry (or the platform's picture loader) gives the file's extension.
QString FileFormatText(const std::string& fileName);

class TPropertiesForm : public QDialog {
 public:
  TPropertiesForm(QWidget* parent, const std::vector<TPropertySection>& sections);

  // The value shown for Label in the section titled Section; empty when there is none.
  QString Value(const QString& section, const QString& label) const;

 private:
  struct TShown {
    QString Section, Label;
    QLabel* Value;
  };
  std::vector<TShown> FShown;
};

}  // namespace brindlex
