#include "QvSaneDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quorvane::dsm {

bool CanShowWindows() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

TSourceDialog::TSourceDialog(const std::string& deviceTitle, const TSourceSettings& settings, TResolutionRange range,
                             bool hasFeeder) {
  FHasFeeder = hasFeeder;
  setObjectName("QvSourceDialog");
  setWindowTitle(QString::fromStdString(deviceTitle));
  auto* form = new QFormLayout;
  FMode = new QComboBox(this);
  FMode->setObjectName("ModeCombo");
  FMode->addItems({"Line art", "Gray", "Color"});
  FMode->setCurrentIndex(static_cast<int>(settings.Mode));
  form->addRow("&Mode:", FMode);
  FResolution = new QSpinBox(this);
  FResolution->setObjectName("ResolutionSpin");
  FResolution->setRange(range.Minimum, range.Maximum);
  FResolution->setSuffix(" dpi");
  FResolution->setValue(settings.Resolution);
  form->addRow("&Resolution:", FResolution);
  FFeeder = new QCheckBox("Use the &document feeder", this);
  FFeeder->setObjectName("FeederCheck");
  FFeeder->setEnabled(hasFeeder);
  FFeeder->setChecked(hasFeeder && settings.Feeder);
  form->addRow(FFeeder);
  FStatus = new QLabel(this);
  FStatus->setObjectName("StatusLabel");

  auto* buttons = new QDialogButtonBox(this);
  FScan = buttons->addButton("&Scan", QDialogButtonBox::AcceptRole);
  FScan->setObjectName("ScanButton");
  FCancel = buttons->addButton(QDialogButtonBox::Cancel);
  FCancel->setObjectName("CancelButton");
  connect(FScan, &QPushButton::clicked, this, [this] {
    if (OnScan) OnScan(Settings());
  });
  connect(FCancel, &QPushButton::clicked, this, [this] { reject(); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(FStatus);
  layout->addWidget(buttons);
  // Wide enough for the device's whole name in the title bar (a bold font there, and room for
  // the icon and the window buttons), which a window manager would otherwise cut short.
  QFont titleFont = font();
  titleFont.setBold(true);
  setMinimumWidth(QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + 140);
}

TSourceSettings TSourceDialog::Settings() const {
  return {static_cast<TScanMode>(FMode->currentIndex()), FResolution->value(), FFeeder->isChecked()};
}

void TSourceDialog::SetTransferring(bool transferring) {
  FMode->setEnabled(!transferring);
  FResolution->setEnabled(!transferring);
  FFeeder->setEnabled(!transferring && FHasFeeder);
  FScan->setEnabled(!transferring);
}

void TSourceDialog::SetStatus(const QString& text) { FStatus->setText(text); }

// Closing the window (Escape, the title bar) is a cancel too; the window stays until the
// application disables the source.
void TSourceDialog::reject() {
  if (OnCancel) OnCancel();
}

int ChooseSource(const std::vector<TSourceEntry>& entries, int defaultIndex) {
  QDialog dialog;
  dialog.setObjectName("QvSelectSourceDialog");
  dialog.setWindowTitle("Select Source");
  auto* list = new QListWidget(&dialog);
  list->setObjectName("SourceList");
  for (const TSourceEntry& entry : entries) list->addItem(QString::fromStdString(entry.Title));
  if (defaultIndex >= 0 && defaultIndex < list->count()) list->setCurrentRow(defaultIndex);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
  auto* layout = new QVBoxLayout(&dialog);
  // The label's accelerator moves to the list; without a buddy the ampersand would show.
  auto* label = new QLabel("&Sources:", &dialog);
  label->setBuddy(list);
  layout->addWidget(label);
  layout->addWidget(list);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return -1;
  return list->currentRow();
}

}  // namespace quorvane::dsm
