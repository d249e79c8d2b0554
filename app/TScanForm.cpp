#include "TScanForm.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSettings>
#include <algorithm>

#include "scan/QvScanPage.h"
#include "scan/QvScanPaper.h"

namespace brindlex {

namespace {

const QString kGroup = QStringLiteral("ImageTool/Scan");

bool IsStandardPaper(const QString& name) {
  for (const quorvane::TPaperSize& paper : quorvane::StandardPaperSizes())
    if (name == QString::fromStdString(paper.Name)) return true;
  return false;
}

}  // namespace

TScanChoices ReadScanChoices(QSettings& settings) {
  TScanChoices choices;
  settings.beginGroup(kGroup);
  const QString paper = settings.value(QStringLiteral("Paper")).toString();
  if (IsStandardPaper(paper)) choices.Paper = paper;
  choices.Feeder = settings.value(QStringLiteral("Feeder"), false).toBool();
  choices.SkipBlank = settings.value(QStringLiteral("SkipBlank"), false).toBool();
  bool ok = false;
  const double percent = settings.value(QStringLiteral("BlankPercent")).toDouble(&ok);
  choices.BlankPercent = ok && percent > 0 && percent <= 100 ? percent : quorvane::kDefaultBlankPercent;
  settings.endGroup();
  return choices;
}

void WriteScanChoices(QSettings& settings, const TScanChoices& choices) {
  settings.beginGroup(kGroup);
  settings.setValue(QStringLiteral("Paper"), choices.Paper);
  settings.setValue(QStringLiteral("Feeder"), choices.Feeder);
  settings.setValue(QStringLiteral("SkipBlank"), choices.SkipBlank);
  settings.setValue(QStringLiteral("BlankPercent"), choices.BlankPercent);
  settings.endGroup();
}

TScanForm::TScanForm(const TScanChoices& choices, bool multiPage, QWidget* parent)
    : TParameterForm(QStringLiteral("Scan"), parent), FMultiPage(multiPage), FKeptSkipBlank(choices.SkipBlank) {
  setObjectName(QStringLiteral("ScanForm"));
  auto* fields = new QFormLayout;
  Body()->addLayout(fields);

  PaperCombo = new QComboBox(this);
  PaperCombo->setObjectName(QStringLiteral("PaperCombo"));
  PaperCombo->addItem(QStringLiteral("The scanner's own area"), QString());
  for (const quorvane::TPaperSize& paper : quorvane::StandardPaperSizes())
    PaperCombo->addItem(QString::fromStdString(quorvane::PaperSizeText(paper)), QString::fromStdString(paper.Name));
  PaperCombo->setCurrentIndex(std::max(0, PaperCombo->findData(choices.Paper)));
  fields->addRow(QStringLiteral("&Paper size:"), PaperCombo);

  FeederCheck = new QCheckBox(QStringLiteral("Scan from the document &feeder"), this);
  FeederCheck->setObjectName(QStringLiteral("FeederCheck"));
  FeederCheck->setChecked(choices.Feeder);
  fields->addRow(FeederCheck);

  SkipBlankCheck = new QCheckBox(QStringLiteral("Drop &blank pages"), this);
  SkipBlankCheck->setObjectName(QStringLiteral("SkipBlankCheck"));
  SkipBlankCheck->setChecked(multiPage && choices.SkipBlank);
  SkipBlankCheck->setEnabled(multiPage);
  fields->addRow(SkipBlankCheck);

  BlankPercentSpin = new QDoubleSpinBox(this);
  BlankPercentSpin->setObjectName(QStringLiteral("BlankPercentSpin"));
  BlankPercentSpin->setDecimals(2);
  BlankPercentSpin->setRange(0.01, 100);
  BlankPercentSpin->setSingleStep(0.05);
  BlankPercentSpin->setSuffix(QStringLiteral(" %"));
  BlankPercentSpin->setValue(choices.BlankPercent);
  BlankPercentSpin->setEnabled(SkipBlankCheck->isChecked());
  BlankPercentSpin->setToolTip(QStringLiteral("A page with fewer dark pixels than this counts as blank"));
  fields->addRow(QStringLiteral("B&lank below:"), BlankPercentSpin);
  connect(SkipBlankCheck, &QCheckBox::toggled, BlankPercentSpin, &QWidget::setEnabled);
}

TScanChoices TScanForm::Choices() const {
  TScanChoices choices;
  choices.Paper = PaperCombo->currentData().toString();
  choices.Feeder = FeederCheck->isChecked();
  choices.SkipBlank = FMultiPage ? SkipBlankCheck->isChecked() : FKeptSkipBlank;
  choices.BlankPercent = BlankPercentSpin->value();
  return choices;
}

}  // namespace brindlex
