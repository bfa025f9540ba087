#include "ui/qt/curves_window.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QCategoryAxis>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "status/clock_ticks.h"
#include "ui/curve_view.h"
#include "ui/file_texts.h"
#include "ui/qt/qt_ui_services.h"

namespace dd {
namespace {

// The names come from the shared view (QuantityCaption, MotionKindCaption).
const std::array<QColor, kQuantityCount> kQuantityColors{
    QColor(31, 119, 180), QColor(255, 127, 14), QColor(214, 39, 40), QColor(44, 160, 44), QColor(148, 103, 189)};
// Every axis names its unit; pulses are whole numbers with separators.
const std::array<const char*, 4> kGroupFormats{"%.0f", "%.0f", "%.1f", "%.2f"};
const std::array<QColor, kMotionKindCount> kMotionColors{QColor(255, 190, 0, 60), QColor(0, 120, 255, 45),
                                                         QColor(0, 170, 0, 50)};

}  // namespace

int CurvesWindow::GroupOf(int quantity) { return CurveAxisOf(static_cast<Quantity>(quantity)); }

CurvesWindow::CurvesWindow(std::shared_ptr<SampleHistory> history, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(std::move(history)), view_model_(history_) {
  setObjectName("CurvesWindow");
  setWindowTitle("实时曲线");
  resize(1000, 620);
  BuildChart();
  BuildControls();
  timer_.setInterval(CurveView::kRefreshMs);
  connect(&timer_, &QTimer::timeout, this, &CurvesWindow::Refresh);
}

CurvesWindow::~CurvesWindow() {
  // The chart goes first, while this window is whole: its axes signal as they are torn down.
  disconnect(timeAxis_, nullptr, this, nullptr);
  delete view_;
}

void CurvesWindow::BuildChart() {
  chart_ = new QChart();
  chart_->setAnimationOptions(QChart::NoAnimation);
  chart_->legend()->setAlignment(Qt::AlignBottom);
  chart_->setMargins(QMargins(4, 4, 4, 4));

  // Numbers as the form writes them, whatever the machine's locale: "3,000,000".
  chart_->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  chart_->setLocalizeNumbers(true);

  // Clock time, on whole steps of the clock, so the ticks do not crawl as it scrolls.
  timeAxis_ = new QCategoryAxis(chart_);
  timeAxis_->setTitleText("时间（本地时间）");
  timeAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  chart_->addAxis(timeAxis_, Qt::AlignBottom);
  for (int g = 0; g < kGroupCount; ++g) {
    groupAxes_[g] = new QValueAxis(chart_);
    groupAxes_[g]->setTitleText(CurveAxisTitle(g));
    groupAxes_[g]->setLabelFormat(kGroupFormats[g]);
    groupAxes_[g]->setGridLineVisible(g == 0);  // one grid, not four
    chart_->addAxis(groupAxes_[g], g < 2 ? Qt::AlignLeft : Qt::AlignRight);
  }
  normalAxis_ = new QValueAxis(chart_);
  normalAxis_->setTitleText("归一化 (0 至 1)");
  normalAxis_->setRange(-0.05, 1.05);
  normalAxis_->setTickType(QValueAxis::TicksDynamic);
  normalAxis_->setTickAnchor(0);
  normalAxis_->setTickInterval(0.25);
  normalAxis_->setLabelFormat("%.2f");
  chart_->addAxis(normalAxis_, Qt::AlignLeft);
  bandAxis_ = new QValueAxis(chart_);
  bandAxis_->setRange(0, 1);
  chart_->addAxis(bandAxis_, Qt::AlignRight);
  bandAxis_->setVisible(false);

  // Bands first, so the curves are drawn over them.
  for (int k = 0; k < kMotionKindCount; ++k) {
    bandEdges_[k] = new QLineSeries(chart_);
    bands_[k] = new QAreaSeries(bandEdges_[k]);
    bands_[k]->setName(MotionKindCaption(static_cast<MotionKind>(k)));
    bands_[k]->setPen(Qt::NoPen);
    bands_[k]->setBrush(kMotionColors[k]);
    chart_->addSeries(bands_[k]);
    bands_[k]->attachAxis(timeAxis_);
    bands_[k]->attachAxis(bandAxis_);
  }
  for (int q = 0; q < kQuantityCount; ++q) {
    series_[q] = new QLineSeries(chart_);
    series_[q]->setName(QuantityCaption(static_cast<Quantity>(q)));
    QPen pen(kQuantityColors[q]);
    pen.setWidth(1);  // the fast path of raster drawing
    if (q == static_cast<int>(Quantity::TargetPosition)) pen.setStyle(Qt::DashLine);
    series_[q]->setPen(pen);
    chart_->addSeries(series_[q]);
    series_[q]->attachAxis(timeAxis_);
    segments_[q].push_back(series_[q]);
  }
  AttachAxes();

  view_ = new QChartView(chart_, this);
  view_->setRubberBand(QChartView::RectangleRubberBand);
  connect(timeAxis_, &QValueAxis::rangeChanged, this, &CurvesWindow::OnAxisRange);
}

void CurvesWindow::BuildControls() {
  auto* top = new QHBoxLayout();
  for (int q = 0; q < kQuantityCount; ++q) {
    checks_[q] = new QCheckBox(QuantityCaption(static_cast<Quantity>(q)), this);
    checks_[q]->setChecked(true);
    QPalette palette = checks_[q]->palette();
    palette.setColor(QPalette::WindowText, kQuantityColors[q].darker(120));
    checks_[q]->setPalette(palette);
    connect(checks_[q], &QCheckBox::toggled, this,
            [this, q](bool on) { SetQuantityShown(static_cast<Quantity>(q), on); });
    top->addWidget(checks_[q]);
  }
  top->addStretch();
  normalCheck_ = new QCheckBox("归一化", this);
  connect(normalCheck_, &QCheckBox::toggled, this, &CurvesWindow::SetNormalised);
  top->addWidget(normalCheck_);

  auto* bottom = new QHBoxLayout();
  bottom->addWidget(new QLabel("时间跨度：", this));
  spanCombo_ = new QComboBox(this);
  for (const char* text : CurveView::kSpanTexts) spanCombo_->addItem(text);
  connect(spanCombo_, &QComboBox::activated, this, &CurvesWindow::SetSpan);
  bottom->addWidget(spanCombo_);
  pauseButton_ = new QPushButton("暂停", this);
  connect(pauseButton_, &QPushButton::clicked, this, [this] { SetPaused(!Paused()); });
  bottom->addWidget(pauseButton_);
  auto* reset = new QPushButton("复位", this);
  connect(reset, &QPushButton::clicked, this, &CurvesWindow::ResetView);
  bottom->addWidget(reset);
  bottom->addWidget(new QLabel("拖动鼠标框选区域放大，右键缩小", this));
  bottom->addStretch();
  auto* csv = new QPushButton("导出 CSV", this);
  connect(csv, &QPushButton::clicked, this, &CurvesWindow::ChooseCsvFile);
  bottom->addWidget(csv);
  auto* png = new QPushButton("导出 PNG", this);
  connect(png, &QPushButton::clicked, this, &CurvesWindow::ChoosePngFile);
  bottom->addWidget(png);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(bottom);
  layout->addWidget(view_, 1);
  // The plot keeps room for its four axes and a readable height at the smallest size.
  view_->setMinimumSize(560, 320);
}

void CurvesWindow::AttachAxes() {
  for (int q = 0; q < kQuantityCount; ++q) {
    for (QLineSeries* segment : segments_[q]) {
      for (QAbstractAxis* axis : segment->attachedAxes()) {
        if (axis != timeAxis_) segment->detachAxis(axis);
      }
      segment->attachAxis(view_model_.Normalised() ? normalAxis_ : groupAxes_[GroupOf(q)]);
      segment->setVisible(view_model_.Shown(static_cast<Quantity>(q)));
    }
  }
  for (int g = 0; g < kGroupCount; ++g) {
    groupAxes_[g]->setVisible(!view_model_.Normalised() && view_model_.AxisShown(g));
  }
  normalAxis_->setVisible(view_model_.Normalised());
}

void CurvesWindow::SetPaused(bool paused) {
  // Continuing leaves any zoom and scrolls on from the present.
  view_model_.SetPaused(paused);
  pauseButton_->setText(paused ? "继续" : "暂停");
  if (!paused) Refresh();
}

void CurvesWindow::SetSpan(int index) {
  if (index < 0 || index >= static_cast<int>(kSpanSeconds.size())) return;
  spanCombo_->setCurrentIndex(index);
  view_model_.SetSpan(index);
  if (!Paused()) Refresh();
}

void CurvesWindow::SetNormalised(bool normalised) {
  normalCheck_->setChecked(normalised);
  if (view_model_.Normalised() == normalised) return;
  view_model_.SetNormalised(normalised);
  AttachAxes();
  if (view_model_.Zoomed()) {
    ApplyZoom(VisibleFrom(), VisibleTo());
  } else if (Paused()) {
    DrawCurves();
    SetAxisRanges();
  } else {
    Refresh();
  }
}

void CurvesWindow::SetQuantityShown(Quantity quantity, bool shown) {
  const auto q = static_cast<std::size_t>(quantity);
  checks_[q]->setChecked(shown);
  if (view_model_.Shown(quantity) == shown) return;
  view_model_.SetShown(quantity, shown);
  AttachAxes();
  DrawCurves();
  if (!view_model_.Zoomed()) SetAxisRanges();
}

void CurvesWindow::ZoomTo(double from, double to) {
  if (!(to > from)) return;
  ApplyZoom(from, to);
}

void CurvesWindow::ResetView() { SetPaused(false); }

int CurvesWindow::PlotColumns() const {
  return static_cast<int>(chart_->plotArea().width());
}

void CurvesWindow::Refresh() {
  if (Paused()) return;
  view_model_.Refresh(PlotColumns());
  DrawCurves();
  DrawBands();
  SetAxisRanges();
  SetX();
}

QLineSeries* CurvesWindow::Segment(int q, std::size_t index) {
  auto& segments = segments_[static_cast<std::size_t>(q)];
  while (segments.size() <= index) {
    // A piece of the same curve after a gap: same pen and axes, no legend entry of its own.
    auto* piece = new QLineSeries(chart_);
    piece->setPen(series_[q]->pen());
    chart_->addSeries(piece);
    for (QAbstractAxis* axis : series_[q]->attachedAxes()) piece->attachAxis(axis);
    piece->setVisible(view_model_.Shown(static_cast<Quantity>(q)));
    for (QLegendMarker* marker : chart_->legend()->markers(piece)) marker->setVisible(false);
    segments.push_back(piece);
  }
  return segments[index];
}

void CurvesWindow::DrawCurves() {
  // Qt draws a line through points without a value: each stretch between gaps is a
  // series of its own. A bounded number of them; the last one takes what is left.
  constexpr std::size_t kMaxPieces = 64;
  for (int q = 0; q < kQuantityCount; ++q) {
    if (!view_model_.Shown(static_cast<Quantity>(q))) {
      for (QLineSeries* segment : segments_[q]) {
        if (segment->count() > 0) segment->clear();
      }
      continue;
    }
    view_model_.Points(static_cast<Quantity>(q), points_);
    std::size_t piece = 0;
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(points_.size()));
    for (const CurvePoint& p : points_) {
      if (std::isnan(p.value)) {
        if (!list.isEmpty() && piece + 1 < kMaxPieces) {
          Segment(q, piece++)->replace(list);
          list.clear();
        }
        continue;
      }
      list.append(QPointF(p.time, p.value));
    }
    Segment(q, piece)->replace(list);
    for (std::size_t rest = piece + 1; rest < segments_[q].size(); ++rest) {
      if (segments_[q][rest]->count() > 0) segments_[q][rest]->clear();
    }
  }
}

void CurvesWindow::DrawBands() {
  std::array<QList<QPointF>, kMotionKindCount> edges;
  for (const MotionBand& band : view_model_.Bands()) {
    auto& e = edges[static_cast<std::size_t>(band.kind)];
    e << QPointF(band.start, 0) << QPointF(band.start, 1) << QPointF(band.end, 1) << QPointF(band.end, 0);
  }
  for (int k = 0; k < kMotionKindCount; ++k) bandEdges_[k]->replace(edges[k]);
}

void CurvesWindow::SetAxisRanges() {
  applying_ = true;
  if (view_model_.Normalised()) {
    const auto [low, high] = view_model_.AxisRange(0);
    normalAxis_->setRange(low, high);
  } else {
    for (int g = 0; g < kGroupCount; ++g) {
      const auto [low, high] = view_model_.AxisRange(g);
      groupAxes_[g]->setRange(low, high);
      groupAxes_[g]->applyNiceNumbers();
    }
  }
  applying_ = false;
}

void CurvesWindow::SetX() {
  const double from = view_model_.From(), to = view_model_.To();
  applying_ = true;
  for (const QString& label : timeAxis_->categoriesLabels()) timeAxis_->remove(label);
  timeAxis_->setStartValue(from);
  // A clock label is about 70 pixels wide with its gap.
  const int most = std::max(2, static_cast<int>(chart_->plotArea().width()) / 90);
  for (const ClockTick& tick : view_model_.TimeTicks(most)) {
    timeAxis_->append(QString::fromStdString(tick.label), tick.at);
  }
  timeAxis_->setRange(from, to);
  bandAxis_->setRange(0, 1);
  applying_ = false;
}

void CurvesWindow::OnAxisRange(double, double) {
  if (applying_) return;
  // A dragged area (or a right click) changed the axes: once the chart has finished,
  // show that time span in detail.
  QTimer::singleShot(0, this, [this] { ApplyZoom(VisibleFrom(), VisibleTo()); });
}

void CurvesWindow::ApplyZoom(double from, double to) {
  view_model_.ZoomTo(from, to, PlotColumns());
  pauseButton_->setText("继续");
  DrawCurves();
  DrawBands();
  SetX();
}

double CurvesWindow::VisibleFrom() const { return timeAxis_->min(); }
double CurvesWindow::VisibleTo() const { return timeAxis_->max(); }
int CurvesWindow::PointsDrawn(Quantity quantity) const {
  int points = 0;
  for (const QLineSeries* segment : segments_[static_cast<std::size_t>(quantity)]) points += static_cast<int>(segment->count());
  return points;
}

bool CurvesWindow::ExportCsv(const QString& path) {
  const std::string text = view_model_.Csv();
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  const auto size = static_cast<qint64>(text.size());
  return file.write(text.data(), size) == size && file.flush();
}

bool CurvesWindow::ExportPng(const QString& path) { return view_->grab().save(path, "PNG"); }

QString CurvesWindow::ChooseFile(const char* title, const char* extension, const char* filter) {
  const std::string name = TimedFileName("实时曲线", extension, std::chrono::system_clock::now());
  const QString start = QString::fromStdString(LastFolder());
  const QString path = QFileDialog::getSaveFileName(
      this, title, QDir(start.isEmpty() ? QDir::homePath() : start).filePath(QString::fromStdString(name)), filter);
  if (!path.isEmpty()) RememberFolderOf(path.toStdString());
  return path;
}

void CurvesWindow::ChooseCsvFile() {
  const QString path = ChooseFile("导出 CSV", "csv", "CSV 文件 (*.csv)");
  if (!path.isEmpty() && !ExportCsv(path)) {
    QtUiServices::ShowMessageBox(this, MessageIcon::Error, "导出失败", "    无法写入文件，请换一个位置；");
  }
}

void CurvesWindow::ChoosePngFile() {
  const QString path = ChooseFile("导出 PNG", "png", "PNG 图片 (*.png)");
  if (!path.isEmpty() && !ExportPng(path)) {
    QtUiServices::ShowMessageBox(this, MessageIcon::Error, "导出失败", "    无法写入文件，请换一个位置；");
  }
}

void CurvesWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
  timer_.start();
}

void CurvesWindow::hideEvent(QHideEvent* event) {
  // Closed, the window costs nothing; the history fills on regardless.
  timer_.stop();
  QWidget::hideEvent(event);
}

void CurvesWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);  // the next refresh refills for the new width
}

}  // namespace dd
