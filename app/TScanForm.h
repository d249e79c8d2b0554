// The window's scan dialog: the paper size (the scanner's own area or a standard size), the
// document feeder and the dropping of blank pages (multi-page scans only), shown by Scan before
// the scanner starts. The last choice is kept in the settings, group "ImageTool/Scan".
#pragma once

#include "TParameterForm.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSettings;

namespace brindlex {

struct TScanChoices {
  QString Paper;  // empty: the scanner's own area; else a standard size's name ("a4", "letter")
  bool Feeder = false;
  bool SkipBlank = false;
  double BlankPercent = 0;  // the dark-pixel share below which a page is dropped
};

// The settings' choice; defaults (own area, no feeder, keep every page, the library's blank
// percentage) where nothing or something unknown is stored.
TScanChoices ReadScanChoices(QSettings& settings);
void WriteScanChoices(QSettings& settings, const TScanChoices& choices);

class TScanForm : public TParameterForm {
 public:
  // MultiPage: whether blank pages can be dropped (a single page goes into the view whatever it
  // is; the choice of multi-page scans is then kept as it was).
  TScanForm(const TScanChoices& choices, bool multiPage, QWidget* parent);

  TScanChoices Choices() const;

  QComboBox* PaperCombo;
  QCheckBox* FeederCheck;
  QCheckBox* SkipBlankCheck;
  QDoubleSpinBox* BlankPercentSpin;

 private:
  bool FMultiPage;
  bool FKeptSkipBlank;
};

}  // namespace brindlex
