// The "实时曲线" window: the polled quantities against time, from the session's sample
// history, with the motions shaded. It scrolls over a chosen span, pauses (the history
// keeps filling), zooms on a dragged area, and exports the visible span as CSV or PNG.
// It only reads the history: no bus traffic of its own.
#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "status/curve_decimation.h"
#include "status/sample_history.h"
#include "ui/curve_view.h"

class QAreaSeries;
class QCategoryAxis;
class QChart;
class QChartView;
class QCheckBox;
class QComboBox;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace dd {

class CurvesWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr auto kSpanSeconds = CurveView::kSpanSeconds;

  explicit CurvesWindow(std::shared_ptr<SampleHistory> history, QWidget* parent = nullptr);
  ~CurvesWindow() override;

  // What the controls do, for the buttons and for tests.
  void SetPaused(bool paused);
  bool Paused() const { return view_model_.Paused(); }
  void SetSpan(int index);  // into kSpanSeconds
  void SetNormalised(bool normalised);
  void SetQuantityShown(Quantity quantity, bool shown);
  // Shows only [from, to] in detail and stops scrolling, as a dragged area does.
  void ZoomTo(double from, double to);
  // Back to the scrolling view of the whole span.
  void ResetView();
  // The samples of the visible span; false if the file cannot be written.
  bool ExportCsv(const QString& path);
  bool ExportPng(const QString& path);
  // Takes new samples and redraws (the timer calls it while shown and not paused).
  void Refresh();

  // For tests: the visible time span and the points drawn for a quantity.
  double VisibleFrom() const;
  double VisibleTo() const;
  int PointsDrawn(Quantity quantity) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Actual and target position share one axis, so they can be compared.
  static constexpr int kGroupCount = kCurveAxisCount;
  static int GroupOf(int quantity);

  void BuildControls();
  void BuildChart();
  int PlotColumns() const;
  void ApplyZoom(double from, double to);
  void DrawCurves();
  // The `index`-th piece of quantity `q`'s curve between gaps, made when first needed.
  QLineSeries* Segment(int q, std::size_t index);
  void DrawBands();
  void SetAxisRanges();
  void OnAxisRange(double from, double to);
  void AttachAxes();
  // A path from a save dialog in the folder last used, with a timed name; empty if cancelled.
  QString ChooseFile(const char* title, const char* extension, const char* filter);
  void ChooseCsvFile();
  void ChoosePngFile();
  void SetX();

  std::shared_ptr<SampleHistory> history_;
  CurveView view_model_;  // span, pause, zoom, normalising and the points, shared
  bool applying_ = false;  // our own axis changes are not a user's zoom

  QTimer timer_;
  QChart* chart_ = nullptr;
  QChartView* view_ = nullptr;
  QCategoryAxis* timeAxis_ = nullptr;
  QValueAxis* normalAxis_ = nullptr;
  QValueAxis* bandAxis_ = nullptr;
  std::array<QValueAxis*, kGroupCount> groupAxes_{};
  std::array<QLineSeries*, kQuantityCount> series_{};  // the first piece, in the legend
  std::array<std::vector<QLineSeries*>, kQuantityCount> segments_;
  std::array<QLineSeries*, kMotionKindCount> bandEdges_{};
  std::array<QAreaSeries*, kMotionKindCount> bands_{};
  std::array<QCheckBox*, kQuantityCount> checks_{};
  QComboBox* spanCombo_ = nullptr;
  QCheckBox* normalCheck_ = nullptr;
  QPushButton* pauseButton_ = nullptr;
  std::vector<CurvePoint> points_;  // reused between refreshes
};

}  // namespace dd
