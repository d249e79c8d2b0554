#include "print/QvUpDown.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace quorvane {

TUpDown::TUpDown(QLineEdit* associate, int min, int max, int position, QWidget* parent)
    : QWidget(parent), FAssociate(associate), FMin(min), FMax(max), FPosition(std::clamp(position, min, max)) {
  FUp = new QToolButton(this);
  FDown = new QToolButton(this);
  FUp->setArrowType(Qt::UpArrow);
  FDown->setArrowType(Qt::DownArrow);
  // The arrows stand beside the edit and are exactly as high as it.
  const int height = associate->sizeHint().height();
  for (QToolButton* button : {FUp, FDown}) {
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedSize(height * 3 / 4, height / 2);
  }
  setFixedSize(height * 3 / 4, height / 2 * 2);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(FUp);
  layout->addWidget(FDown);
  connect(FUp, &QToolButton::clicked, this, [this] { Step(1); });
  connect(FDown, &QToolButton::clicked, this, [this] { Step(-1); });
  FAssociate->installEventFilter(this);
}

void TUpDown::Step(int delta) {
  bool isNumber = false;
  const int typed = FAssociate->text().trimmed().toInt(&isNumber);
  if (isNumber && typed >= FMin && typed <= FMax) FPosition = typed;
  FPosition = std::clamp(FPosition + delta, FMin, FMax);
  FAssociate->setText(QString::number(FPosition));
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FAssociate && event->type() == QEvent::KeyPress && isEnabled()) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      Step(key == Qt::Key_Up ? 1 : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace quorvane
