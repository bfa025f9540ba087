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
  static constexpr std::array<int, 3> kSpanSeconds{10, 60, 600};

  explicit CurvesWindow(std::shared_ptr<SampleHistory> history, QWidget* parent = nullptr);
  ~CurvesWindow() override;

  // What the controls do, for the buttons and for tests.
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }
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
  static constexpr int kGroupCount = 4;
  static int GroupOf(int quantity);
  struct Scaling {
    double offset = 0;
    double scale = 1;
  };

  void BuildControls();
  void BuildChart();
  int PlotColumns() const;
  // Refills the decimator with one column per pixel of the plot: from `from` on for
  // the scrolling view (`live`), else [from, to].
  void Rebuild(double from, double to, bool live);
  void ApplyZoom(double from, double to);
  void DrawCurves();
  // The `index`-th piece of quantity `q`'s curve between gaps, made when first needed.
  QLineSeries* Segment(int q, std::size_t index);
  void DrawBands(double from, double to);
  void SetAxisRanges();
  void OnAxisRange(double from, double to);
  void AttachAxes();
  // A path from a save dialog in the folder last used, with a timed name; empty if cancelled.
  QString ChooseFile(const char* title, const char* extension, const char* filter);
  void ChooseCsvFile();
  void ChoosePngFile();
  void SetX(double from, double to);

  std::shared_ptr<SampleHistory> history_;
  CurveDecimator decimator_;
  uint64_t next_ = 0;  // history sequence the decimator has taken up to
  int columns_ = 0;    // pixel columns the decimator was built for
  bool stale_ = true;  // the decimator must be refilled before the next drawing

  int span_ = kSpanSeconds[0];
  bool paused_ = false;
  bool zoomed_ = false;
  bool normalised_ = false;
  bool applying_ = false;  // our own axis changes are not a user's zoom
  std::array<bool, kQuantityCount> shown_{true, true, true, true, true};
  std::array<Scaling, kGroupCount> scaling_{};

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
