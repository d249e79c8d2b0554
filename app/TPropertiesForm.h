// File > Properties: what the picture and its file are. The rows come from DocumentProperties,
// which the tests read without the dialog; the dialog shows them in groups with a Close button.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "model/QvDiGrph.h"

namespace brindlex {

struct TPropertyRow {
  QString Group;  // "Image" or "File"
  QString Name;
  QString Value;
};

// The image: size, pixel format, resolution, pages (frames); the file: name, folder, format (by
// its extension: the registry's description, else the picture loader's) and size on disk. A
// picture without a file (pasted, scanned) has no file rows but one saying so.
std::vector<TPropertyRow> DocumentProperties(const quorvane::TDibGraphic& image, const QString& fileName);

class TPropertiesForm : public QDialog {
 public:
  TPropertiesForm(const std::vector<TPropertyRow>& rows, QWidget* parent = nullptr);
};

}  // namespace brindlex
