// A lamp: a filled round or rectangular shape with a thin black border.
#pragma once

#include <QWidget>
#include <cstdint>

namespace dd {

class LampWidget : public QWidget {
  Q_OBJECT

 public:
  LampWidget(bool round, QWidget* parent);
  // 0x00RRGGBB, or a system colour such as kButtonFace.
  void SetColor(uint32_t color);
  uint32_t Color() const { return color_; }
  // The fill as painted now (system colours resolved through the palette).
  QColor Fill() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool round_;
  uint32_t color_;
};

// Turns a model colour into a QColor; system colours come from `palette`.
QColor ToQColor(uint32_t color, const QPalette& palette);

}  // namespace dd
