#include "TParameterForm.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace brindlex {

TParameterForm::TParameterForm(const QString& caption, QWidget* parent) : QDialog(parent) {
  setWindowTitle(caption);
  auto* outer = new QVBoxLayout(this);
  outer->setSizeConstraint(QLayout::SetFixedSize);
  FBody = new QVBoxLayout;
  outer->addLayout(FBody);
  auto* buttons = new QDialogButtonBox(this);
  OkBtn = buttons->addButton(QDialogButtonBox::Ok);
  CancelBtn = buttons->addButton(QDialogButtonBox::Cancel);
  OkBtn->setObjectName(QStringLiteral("OkBtn"));
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  outer->addWidget(buttons);
  // Wide enough for the whole title: a window manager cuts a title that does not fit ("Forma...
  // rsion"). Title bars often use a bold font, and the icon and buttons beside it need room.
  QFont titleFont = font();
  titleFont.setBold(true);
  outer->addSpacerItem(new QSpacerItem(QFontMetrics(titleFont).horizontalAdvance(caption) + kTitleAllowance, 0,
                                       QSizePolicy::Fixed, QSizePolicy::Minimum));
}

QLineEdit* TParameterForm::AddField(const char* name, const QString& label, const QString& text) {
  if (FFields == nullptr) {
    FFields = new QFormLayout;
    FBody->addLayout(FFields);
  }
  auto* field = new QLineEdit(text, this);
  field->setObjectName(QString::fromLatin1(name));
  FFields->addRow(label, field);
  return field;
}

void TParameterForm::showEvent(QShowEvent* event) {
  // The buttons were made first; the dialog's own controls come first in the tab order, and
  // the first of them has the keyboard when the dialog opens.
  QList<QWidget*> order;
  for (QWidget* w : findChildren<QWidget*>())
    if (w->focusPolicy() & Qt::TabFocus && w != OkBtn && w != CancelBtn) order << w;
  order << OkBtn << CancelBtn;
  for (qsizetype i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
  if (!event->spontaneous()) order.first()->setFocus(Qt::TabFocusReason);
  QDialog::showEvent(event);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

}  // namespace brindlex
