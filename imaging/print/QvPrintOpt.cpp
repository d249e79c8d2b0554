#include "print/QvPrintOpt.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/QvNumberText.h"
#include "print/QvUpDown.h"

namespace quorvane {

namespace {

template <typename T, typename... Args>
T* Named(const char* name, Args&&... args) {
  T* widget = new T(std::forward<Args>(args)...);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QFrame* Panel(const char* name, QFrame::Shadow shadow) {
  auto* panel = Named<QFrame>(name);
  panel->setFrameStyle(QFrame::Panel | shadow);
  return panel;
}

// A label over an edit with its up-down beside it.
QGridLayout* InputGroup(QLabel* label, QLineEdit* edit, TUpDown* upDown) {
  auto* group = new QGridLayout;
  group->setHorizontalSpacing(0);
  group->addWidget(label, 0, 0, 1, 2);
  group->addWidget(edit, 1, 0);
  group->addWidget(upDown, 1, 1);
  label->setBuddy(edit);
  return group;
}

}  // namespace

TPrintOptionForm::TPrintOptionForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("PrintOptionForm"));
  setWindowTitle(QStringLiteral("Print Options"));

  pnlAlign = Panel("pnlAlign", QFrame::Raised);
  Bevel = Panel("Bevel", QFrame::Sunken);
  FullPageRB = Named<QRadioButton>("FullPageRB", QStringLiteral("Full &Page (respect aspect ratio)"));
  OriginalSizeRB =
      Named<QRadioButton>("OriginalSizeRB", QStringLiteral("&Original Size (based on graphic resolution)"));
  StetchToPageRB = Named<QRadioButton>("StetchToPageRB", QStringLiteral("&Stretch to page (ignore aspect ratio)"));
  SpecificWidthRB = Named<QRadioButton>("SpecificWidthRB", QStringLiteral("Specific &Width (respect aspect ratio)"));
  SpecificHeightRB = Named<QRadioButton>("SpecificHeightRB", QStringLiteral("Specific &Height (respect aspect ratio)"));
  SpecificWidthAndHeightRB = Named<QRadioButton>("SpecificWidthAndHeightRB",
                                                 QStringLiteral("Specific Width &and Height (ignore aspect ratio)"));
  WidthLbl = Named<QLabel>("WidthLbl", QStringLiteral("Width (inches)"));
  WidthFld = Named<QLineEdit>("WidthFld", QStringLiteral("5"));
  WidthUpDown = new TUpDown(WidthFld, 1, 24, 5);
  WidthUpDown->setObjectName(QStringLiteral("WidthUpDown"));
  HeightLbl = Named<QLabel>("HeightLbl", QStringLiteral("Height (inches)"));
  HeightFld = Named<QLineEdit>("HeightFld", QStringLiteral("3"));
  HeightUpDown = new TUpDown(HeightFld, 1, 24, 3);
  HeightUpDown->setObjectName(QStringLiteral("HeightUpDown"));
  OkBtn = Named<QPushButton>("OkBtn", style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"));
  BitBtn1 =
      Named<QPushButton>("BitBtn1", style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"));
  OkBtn->setDefault(true);

  auto* inputs = new QHBoxLayout;
  inputs->addLayout(InputGroup(WidthLbl, WidthFld, WidthUpDown));
  inputs->addSpacing(16);
  inputs->addLayout(InputGroup(HeightLbl, HeightFld, HeightUpDown));
  inputs->addStretch();

  auto* bevelLayout = new QVBoxLayout(Bevel);
  for (QRadioButton* button :
       {FullPageRB, OriginalSizeRB, StetchToPageRB, SpecificWidthRB, SpecificHeightRB, SpecificWidthAndHeightRB}) {
    bevelLayout->addWidget(button);
    connect(button, &QRadioButton::toggled, this, [this] { RBClick(); });
  }
  bevelLayout->addSpacing(8);
  bevelLayout->addLayout(inputs);

  auto* panelLayout = new QVBoxLayout(pnlAlign);
  panelLayout->setContentsMargins(6, 6, 6, 6);
  panelLayout->addWidget(Bevel);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(OkBtn);
  buttons->addWidget(BitBtn1);
  buttons->addStretch();

  auto* formLayout = new QHBoxLayout(this);
  formLayout->addWidget(pnlAlign);
  formLayout->addLayout(buttons);
  // A fixed dialog border: the form keeps the size its contents need.
  formLayout->setSizeConstraint(QLayout::SetFixedSize);

  connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);

  FullPageRB->setChecked(true);
  RBClick();
}

void TPrintOptionForm::RBClick() {
  const bool width = SpecificWidthRB->isChecked() || SpecificWidthAndHeightRB->isChecked();
  const bool height = SpecificHeightRB->isChecked() || SpecificWidthAndHeightRB->isChecked();
  WidthFld->setEnabled(width);
  WidthLbl->setEnabled(WidthFld->isEnabled());
  WidthUpDown->setEnabled(WidthFld->isEnabled());
  HeightFld->setEnabled(height);
  HeightLbl->setEnabled(HeightFld->isEnabled());
  HeightUpDown->setEnabled(HeightFld->isEnabled());
}

TPrintPlacement TPrintOptionForm::GetPlacement() const {
  if (FullPageRB->isChecked()) return TPrintPlacement::ppFullPage;
  if (OriginalSizeRB->isChecked()) return TPrintPlacement::ppOriginalSize;
  if (StetchToPageRB->isChecked()) return TPrintPlacement::ppStretchToPage;
  if (SpecificWidthRB->isChecked()) return TPrintPlacement::ppSpecificWidth;
  if (SpecificHeightRB->isChecked()) return TPrintPlacement::ppSpecificHeight;
  if (SpecificWidthAndHeightRB->isChecked()) return TPrintPlacement::ppSpecificWidthAndHeight;
  return TPrintPlacement::ppFullPage;
}

double TPrintOptionForm::WidthInches() const { return TextToFloat(WidthFld->text()); }

double TPrintOptionForm::HeightInches() const { return TextToFloat(HeightFld->text()); }

void TPrintOptionForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Centred on the screen, not on the window that opened it.
  if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

}  // namespace quorvane
