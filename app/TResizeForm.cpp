#include "TResizeForm.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace brindlex {

namespace {

QComboBox* PickList(QWidget* parent, const char* name, const QStringList& items) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setEditable(false);
  list->addItems(items);
  return list;
}

void PaintList(QComboBox* list, bool enabled) {
  QPalette palette = list->palette();
  palette.setColor(QPalette::Base, palette.color(enabled ? QPalette::Window : QPalette::Button));
  list->setPalette(palette);
}

}  // namespace

TResizeForm::TResizeForm(QWidget* parent) : TParameterForm(QStringLiteral("Resize"), parent) {
  setObjectName(QStringLiteral("ResizeForm"));
  WidthFld = AddField("WidthFld", QStringLiteral("&Width"), QStringLiteral("100"));
  HeightFld = AddField("HeightFld", QStringLiteral("&Height"), QStringLiteral("100"));

  InterpolatedCB = new QCheckBox(QStringLiteral("&Interpolated"), this);
  InterpolatedCB->setObjectName(QStringLiteral("InterpolatedCB"));
  Body()->addWidget(InterpolatedCB);

  auto* lists = new QFormLayout;
  DestFormatCB =
      PickList(this, "DestFormatCB",
               {QStringLiteral("Black and white"), QStringLiteral("Gray scale 16"), QStringLiteral("Gray scale 256"),
                QStringLiteral("Color 16"), QStringLiteral("Color 256"), QStringLiteral("True Color")});
  DestFormatLbl = new QLabel(QStringLiteral("&Destination format"), this);
  DestFormatLbl->setBuddy(DestFormatCB);
  lists->addRow(DestFormatLbl, DestFormatCB);
  FilterCB = PickList(this, "FilterCB",
                      {QStringLiteral("Triangle"), QStringLiteral("Hermite"), QStringLiteral("Bell"),
                       QStringLiteral("B-Spline"), QStringLiteral("Lanczos3"), QStringLiteral("Mitchell")});
  FilterLbl = new QLabel(QStringLiteral("&Filter"), this);
  FilterLbl->setBuddy(FilterCB);
  lists->addRow(FilterLbl, FilterCB);
  Body()->addLayout(lists);

  connect(InterpolatedCB, &QCheckBox::toggled, this, [this] { InterpolatedCBClick(); });
  FilterCB->setCurrentIndex(0);
  InterpolatedCBClick();
}

void TResizeForm::InterpolatedCBClick() {
  const bool enabled = InterpolatedCB->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(FilterCB), static_cast<QWidget*>(FilterLbl),
                     static_cast<QWidget*>(DestFormatCB), static_cast<QWidget*>(DestFormatLbl)})
    w->setEnabled(enabled);
  PaintList(FilterCB, enabled);
  PaintList(DestFormatCB, enabled);
}

}  // namespace brindlex
