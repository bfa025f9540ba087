#include "ui/qt/lamp_widget.h"

#include <QPainter>
#include <QPalette>

#include "app/control_model.h"
#include "ui/window_layout.h"

namespace dd {

QColor ToQColor(uint32_t color, const QPalette& palette) {
  switch (color) {
    case kButtonFace:
      return palette.color(QPalette::Button);
    case kWindowBackground:
      return palette.color(QPalette::Base);
    case kWindowText:
      return palette.color(QPalette::WindowText);
    default:
      return QColor(static_cast<int>((color >> 16) & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                    static_cast<int>(color & 0xFF));
  }
}

LampWidget::LampWidget(bool round, QWidget* parent)
    : QWidget(parent), round_(round), color_(kButtonFace) {}

void LampWidget::SetColor(uint32_t color) {
  if (color == color_) return;
  color_ = color;
  update();
}

QColor LampWidget::Fill() const { return ToQColor(color_, palette()); }

void LampWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, round_);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Fill());
  const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  if (round_) {
    painter.drawEllipse(box);
  } else {
    painter.drawRect(box);
  }
}

}  // namespace dd
