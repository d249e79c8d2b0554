#include "TToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace brindlex {

namespace {

constexpr int kSize = 24;
const QColor kInk(0x30, 0x36, 0x40);
const QColor kPaper(0xFA, 0xFA, 0xF6);
const QColor kAccent(0x3A, 0x7B, 0xD5);

void Sheet(QPainter& p, QRectF r) {
  p.setPen(QPen(kInk, 1.2));
  p.setBrush(kPaper);
  p.drawRect(r);
}

void Draw(QPainter& p, TToolIcon icon) {
  p.setRenderHint(QPainter::Antialiasing);
  switch (icon) {
    case TToolIcon::Open: {
      p.setPen(QPen(kInk, 1.2));
      p.setBrush(QColor(0xF2, 0xC1, 0x4E));
      p.drawPolygon(QPolygonF({{2.5, 6.5}, {9, 6.5}, {11, 8.5}, {20.5, 8.5}, {20.5, 19.5}, {2.5, 19.5}}));
      p.setBrush(QColor(0xF7, 0xD7, 0x7E));
      p.drawPolygon(QPolygonF({{5, 11.5}, {22.5, 11.5}, {20.5, 19.5}, {2.5, 19.5}}));
      break;
    }
    case TToolIcon::Save:
      p.setPen(QPen(kInk, 1.2));
      p.setBrush(kAccent);
      p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 2, 2);
      p.setBrush(kPaper);
      p.drawRect(QRectF(7, 4, 10, 6));
      p.setBrush(QColor(0xDD, 0xE3, 0xEA));
      p.drawRect(QRectF(6.5, 13, 11, 7));
      break;
    case TToolIcon::Print:
      Sheet(p, QRectF(7, 3.5, 10, 7));
      p.setBrush(QColor(0x9A, 0xA3, 0xAF));
      p.drawRoundedRect(QRectF(3, 9.5, 18, 8), 2, 2);
      Sheet(p, QRectF(7, 14.5, 10, 6));
      break;
    case TToolIcon::Scan:
      p.setPen(QPen(kInk, 1.2));
      p.setBrush(QColor(0x9A, 0xA3, 0xAF));
      p.drawRoundedRect(QRectF(2.5, 11.5, 19, 8), 2, 2);
      p.setBrush(QColor(0x9F, 0xE8, 0x9A));
      p.drawRect(QRectF(4.5, 13.5, 15, 2));
      p.setBrush(kPaper);
      p.drawPolygon(QPolygonF({{5, 11.5}, {8, 4}, {20, 4}, {17, 11.5}}));
      break;
    case TToolIcon::Undo: {
      QPainterPath arc;
      arc.moveTo(6, 10);
      arc.cubicTo(12, 4, 22, 7, 19, 16);
      p.setPen(QPen(kAccent, 2.4, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      p.drawPath(arc);
      p.setPen(Qt::NoPen);
      p.setBrush(kAccent);
      p.drawPolygon(QPolygonF({{2.5, 6}, {10, 6.5}, {5, 13}}));
      break;
    }
    case TToolIcon::Copy:
      Sheet(p, QRectF(3.5, 3.5, 11, 13));
      Sheet(p, QRectF(9.5, 7.5, 11, 13));
      break;
    case TToolIcon::Paste:
      p.setPen(QPen(kInk, 1.2));
      p.setBrush(QColor(0xC8, 0x94, 0x5A));
      p.drawRoundedRect(QRectF(3.5, 4.5, 14, 17), 1.5, 1.5);
      p.setBrush(QColor(0x9A, 0xA3, 0xAF));
      p.drawRect(QRectF(7, 2.5, 7, 4));
      Sheet(p, QRectF(10.5, 10.5, 10, 11));
      break;
    case TToolIcon::Drag: {
      p.setPen(QPen(kInk, 1.2));
      p.setBrush(QColor(0xF3, 0xD6, 0xB8));
      QPainterPath hand;
      hand.addRoundedRect(QRectF(6, 10, 12, 11), 4, 4);
      for (int i = 0; i < 4; ++i) hand.addRoundedRect(QRectF(6 + 3 * i, 4 + (i % 3 == 0 ? 2 : 0), 3, 10), 1.5, 1.5);
      p.drawPath(hand.simplified());
      break;
    }
    case TToolIcon::Select:
      p.setPen(QPen(kAccent, 1.6, Qt::DashLine));
      p.setBrush(QColor(0x3A, 0x7B, 0xD5, 40));
      p.drawRect(QRectF(3.5, 5.5, 17, 13));
      break;
  }
}

const char* ThemeName(TToolIcon icon) {
  switch (icon) {
    case TToolIcon::Open: return "document-open";
    case TToolIcon::Save: return "document-save";
    case TToolIcon::Print: return "document-print";
    case TToolIcon::Scan: return "scanner";
    case TToolIcon::Undo: return "edit-undo";
    case TToolIcon::Copy: return "edit-copy";
    case TToolIcon::Paste: return "edit-paste";
    case TToolIcon::Drag: return "transform-move";
    case TToolIcon::Select: return "edit-select";
  }
  return "";
}

}  // namespace

QIcon ToolIcon(TToolIcon icon) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  {
    QPainter painter(&pixmap);
    Draw(painter, icon);
  }
  return QIcon::fromTheme(QString::fromLatin1(ThemeName(icon)), QIcon(pixmap));
}

}  // namespace brindlex
