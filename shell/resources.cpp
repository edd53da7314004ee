#include "shell/resources.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zemlo::shell {
namespace {

// The adapter: a blue body with a white Z, a USB plug on top and a green status light. Drawn in
// code (the same design as packaging/zemlo.svg) so that no image plug-in is needed.
QPixmap DrawIcon(int side) {
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(side / 128.0, side / 128.0);

  QLinearGradient plug(0, 8, 0, 34);
  plug.setColorAt(0, QColor(0xf4, 0xf6, 0xf9));
  plug.setColorAt(1, QColor(0xc9, 0xd1, 0xdc));
  painter.setPen(QPen(QColor(0x6b, 0x77, 0x89), 2.5));
  painter.setBrush(plug);
  painter.drawRoundedRect(QRectF(44, 8, 40, 26), 3, 3);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x6b, 0x77, 0x89));
  painter.drawRect(QRectF(52, 15, 8, 7));
  painter.drawRect(QRectF(68, 15, 8, 7));

  QLinearGradient body(0, 30, 0, 114);
  body.setColorAt(0, QColor(0x4f, 0x8f, 0xd8));
  body.setColorAt(1, QColor(0x1f, 0x4f, 0x99));
  painter.setPen(QPen(QColor(0x17, 0x3d, 0x78), 3));
  painter.setBrush(body);
  painter.drawRoundedRect(QRectF(14, 30, 100, 84), 16, 16);

  QPainterPath zed;
  zed.moveTo(40, 52);
  zed.lineTo(88, 52);
  zed.lineTo(88, 61);
  zed.lineTo(54, 94);
  zed.lineTo(88, 94);
  zed.lineTo(88, 104);
  zed.lineTo(40, 104);
  zed.lineTo(40, 95);
  zed.lineTo(74, 62);
  zed.lineTo(40, 62);
  zed.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawPath(zed);

  painter.setPen(QPen(QColor(0x2f, 0x7a, 0x2c), 1.5));
  painter.setBrush(QColor(0x7e, 0xe0, 0x7a));
  painter.drawEllipse(QPointF(100, 44), 5, 5);
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int side : {16, 22, 32, 48, 64, 128, 256}) icon.addPixmap(DrawIcon(side));
  return icon;
}

}  // namespace zemlo::shell
