#include "TFormatConversionForm.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>

namespace brindlex {

using quorvane::TImageFormat;

TFormatConversionForm::TFormatConversionForm(QWidget* parent)
    : TParameterForm(QStringLiteral("Format Conversion"), parent) {
  setObjectName(QStringLiteral("FormatConversionForm"));
  auto* box = new QGroupBox(this);
  auto* column = new QVBoxLayout(box);
  auto* group = new QButtonGroup(this);
  const std::array<std::pair<const char*, QString>, 6> captions{{
      {"BlackWhiteRB", QStringLiteral("&Black and White")},
      {"Gray16RB", QStringLiteral("16 &Shades of Gray")},
      {"Gray256RB", QStringLiteral("256 S&hades of Gray")},
      {"Color16RB", QStringLiteral("16 &Colors")},
      {"Color256RB", QStringLiteral("256 C&olors")},
      {"TrueColorRB", QStringLiteral("&True Color")},
  }};
  for (size_t i = 0; i < captions.size(); ++i) {
    FButtons[i] = new QRadioButton(captions[i].second, box);
    FButtons[i]->setObjectName(QString::fromLatin1(captions[i].first));
    group->addButton(FButtons[i]);
    column->addWidget(FButtons[i]);
  }
  BlackWhiteRB = FButtons[0];
  Gray16RB = FButtons[1];
  Gray256RB = FButtons[2];
  Color16RB = FButtons[3];
  Color256RB = FButtons[4];
  TrueColorRB = FButtons[5];
  Body()->addWidget(box);

  DitherCB = new QCheckBox(QStringLiteral("Floyd Steinberg &Dither"), this);
  DitherCB->setObjectName(QStringLiteral("DitherCB"));
  QuantizeCB = new QCheckBox(QStringLiteral("&Quantize"), this);
  QuantizeCB->setObjectName(QStringLiteral("QuantizeCB"));
  Body()->addWidget(DitherCB);
  Body()->addWidget(QuantizeCB);
}

QRadioButton* TFormatConversionForm::FormatButton(TImageFormat format) const {
  return FButtons[static_cast<size_t>(format)];
}

TImageFormat TFormatConversionForm::Target() const {
  for (size_t i = 0; i + 1 < FButtons.size(); ++i)
    if (FButtons[i]->isChecked()) return static_cast<TImageFormat>(i);
  return TImageFormat::TrueColor;
}

}  // namespace brindlex
