// The source's own windows: the settings dialog shown while the source is enabled with its user
// interface, and the list from which the user picks a source. Both need a QApplication.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QvSaneDevice.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace quorvane::dsm {

struct TSourceSettings {
  TScanMode Mode = TScanMode::Gray;
  int Resolution = 200;
  bool Feeder = false;
};

// Modeless: Scan hands the chosen settings to OnScan; Cancel (or closing the window) calls
// OnCancel. While pages are transferred the settings are locked and Cancel stops the scan.
class TSourceDialog : public QDialog {
 public:
  TSourceDialog(const std::string& deviceTitle, const TSourceSettings& settings, TResolutionRange range,
                bool hasFeeder);

  std::function<void(const TSourceSettings&)> OnScan;
  std::function<void()> OnCancel;

  void SetTransferring(bool transferring);
  void SetStatus(const QString& text);

 protected:
  void reject() override;

 private:
  TSourceSettings Settings() const;

  QComboBox* FMode;
  QSpinBox* FResolution;
  QCheckBox* FFeeder;
  QPushButton* FScan;
  QPushButton* FCancel;
  QLabel* FStatus;
  bool FHasFeeder = false;
};

// The rows offered by the source list.
struct TSourceEntry {
  std::string Title;
};

// Shows the list modally with Default preselected; the chosen row, or -1 when cancelled.
int ChooseSource(const std::vector<TSourceEntry>& entries, int defaultIndex);

// Whether windows can be shown: a QApplication runs in this process.
bool CanShowWindows();

}  // namespace quorvane::dsm
