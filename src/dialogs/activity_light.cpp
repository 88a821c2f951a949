#include "dialogs/activity_light.h"

#include <QPainter>

namespace tidewell {

ActivityLight::ActivityLight(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setAccessibleDescription(QStringLiteral("off"));
}

void ActivityLight::setLit(bool lit) {
  if (lit == lit_) {
    return;
  }
  lit_ = lit;
  setAccessibleDescription(lit ? QStringLiteral("on") : QStringLiteral("off"));
  update();
}

QSize ActivityLight::sizeHint() const {
  // As tall as a line of text, so it grows with the font and the scale.
  const int side = fontMetrics().height();
  return {side, side};
}

void ActivityLight::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal side = qMin(width(), height()) * 0.75;
  const QRectF lamp((width() - side) / 2, (height() - side) / 2, side, side);
  const QColor on(40, 200, 60);
  const QColor off = palette().color(QPalette::Disabled, QPalette::WindowText).lighter(150);
  QRadialGradient glow(lamp.center() - QPointF(side / 6, side / 6), side / 1.6);
  const QColor face = lit_ ? on : off;
  glow.setColorAt(0, face.lighter(lit_ ? 160 : 115));
  glow.setColorAt(1, face);
  painter.setBrush(glow);
  painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
  painter.drawEllipse(lamp);
}

}  // namespace tidewell
