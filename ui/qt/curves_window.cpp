#include "ui/qt/curves_window.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/qt/qt_ui_services.h"

namespace dd {
namespace {

struct QuantityLook {
  const char* name;
  QColor color;
};
const std::array<QuantityLook, kQuantityCount> kQuantities{{
    {"实时位置", QColor(31, 119, 180)},
    {"目标位置", QColor(255, 127, 14)},
    {"位置偏差", QColor(214, 39, 40)},
    {"实时速度 (rpm)", QColor(44, 160, 44)},
    {"实时电流 (A)", QColor(148, 103, 189)},
}};
const std::array<const char*, 4> kGroupTitles{"位置", "位置偏差", "速度 (rpm)", "电流 (A)"};
const std::array<QuantityLook, kMotionKindCount> kMotions{{
    {"点动", QColor(255, 190, 0, 60)},
    {"移动", QColor(0, 120, 255, 45)},
    {"归零", QColor(0, 170, 0, 50)},
}};
const std::array<const char*, 3> kSpanTexts{"10 秒", "1 分钟", "10 分钟"};
constexpr int kRefreshMs = 200;
constexpr int kMinColumns = 100;

// A range with room around the curve; a flat curve gets a band around its value.
std::pair<double, double> Padded(ValueRange r) {
  if (r.empty) return {0, 1};
  const double spread = r.high - r.low;
  if (spread <= 0) {
    const double room = std::max(1.0, std::abs(r.high) * 0.05);
    return {r.low - room, r.high + room};
  }
  return {r.low - spread * 0.05, r.high + spread * 0.05};
}

}  // namespace

int CurvesWindow::GroupOf(int quantity) { return quantity == 0 ? 0 : quantity - 1; }

CurvesWindow::CurvesWindow(std::shared_ptr<SampleHistory> history, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(std::move(history)) {
  setObjectName("CurvesWindow");
  setWindowTitle("实时曲线");
  resize(960, 560);
  BuildChart();
  BuildControls();
  timer_.setInterval(kRefreshMs);
  connect(&timer_, &QTimer::timeout, this, &CurvesWindow::Refresh);
}

CurvesWindow::~CurvesWindow() = default;

void CurvesWindow::BuildChart() {
  chart_ = new QChart();
  chart_->setAnimationOptions(QChart::NoAnimation);
  chart_->legend()->setAlignment(Qt::AlignBottom);
  chart_->setMargins(QMargins(4, 4, 4, 4));

  timeAxis_ = new QValueAxis(chart_);
  timeAxis_->setTitleText("时间 (s)");
  timeAxis_->setLabelFormat("%.0f");
  // Ticks on whole multiples of a tenth of the span, so they do not crawl as it scrolls.
  timeAxis_->setTickType(QValueAxis::TicksDynamic);
  timeAxis_->setTickAnchor(0);
  timeAxis_->setTickInterval(kSpanSeconds[0] / 10.0);
  chart_->addAxis(timeAxis_, Qt::AlignBottom);
  for (int g = 0; g < kGroupCount; ++g) {
    groupAxes_[g] = new QValueAxis(chart_);
    groupAxes_[g]->setTitleText(kGroupTitles[g]);
    groupAxes_[g]->setLabelFormat("%.6g");
    groupAxes_[g]->setGridLineVisible(g == 0);  // one grid, not four
    chart_->addAxis(groupAxes_[g], g < 2 ? Qt::AlignLeft : Qt::AlignRight);
  }
  normalAxis_ = new QValueAxis(chart_);
  normalAxis_->setTitleText("归一化");
  normalAxis_->setRange(-0.05, 1.05);
  chart_->addAxis(normalAxis_, Qt::AlignLeft);
  bandAxis_ = new QValueAxis(chart_);
  bandAxis_->setRange(0, 1);
  chart_->addAxis(bandAxis_, Qt::AlignRight);
  bandAxis_->setVisible(false);

  // Bands first, so the curves are drawn over them.
  for (int k = 0; k < kMotionKindCount; ++k) {
    bandEdges_[k] = new QLineSeries(chart_);
    bands_[k] = new QAreaSeries(bandEdges_[k]);
    bands_[k]->setName(kMotions[k].name);
    bands_[k]->setPen(Qt::NoPen);
    bands_[k]->setBrush(kMotions[k].color);
    chart_->addSeries(bands_[k]);
    bands_[k]->attachAxis(timeAxis_);
    bands_[k]->attachAxis(bandAxis_);
  }
  for (int q = 0; q < kQuantityCount; ++q) {
    series_[q] = new QLineSeries(chart_);
    series_[q]->setName(kQuantities[q].name);
    QPen pen(kQuantities[q].color);
    pen.setWidth(1);  // the fast path of raster drawing
    if (q == static_cast<int>(Quantity::TargetPosition)) pen.setStyle(Qt::DashLine);
    series_[q]->setPen(pen);
    chart_->addSeries(series_[q]);
    series_[q]->attachAxis(timeAxis_);
  }
  AttachAxes();

  view_ = new QChartView(chart_, this);
  view_->setRubberBand(QChartView::RectangleRubberBand);
  connect(timeAxis_, &QValueAxis::rangeChanged, this, &CurvesWindow::OnAxisRange);
}

void CurvesWindow::BuildControls() {
  auto* top = new QHBoxLayout();
  for (int q = 0; q < kQuantityCount; ++q) {
    checks_[q] = new QCheckBox(kQuantities[q].name, this);
    checks_[q]->setChecked(true);
    QPalette palette = checks_[q]->palette();
    palette.setColor(QPalette::WindowText, kQuantities[q].color.darker(120));
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
  for (const char* text : kSpanTexts) spanCombo_->addItem(text);
  connect(spanCombo_, &QComboBox::activated, this, &CurvesWindow::SetSpan);
  bottom->addWidget(spanCombo_);
  pauseButton_ = new QPushButton("暂停", this);
  connect(pauseButton_, &QPushButton::clicked, this, [this] { SetPaused(!paused_); });
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
}

void CurvesWindow::AttachAxes() {
  for (int q = 0; q < kQuantityCount; ++q) {
    for (QAbstractAxis* axis : series_[q]->attachedAxes()) {
      if (axis != timeAxis_) series_[q]->detachAxis(axis);
    }
    series_[q]->attachAxis(normalised_ ? normalAxis_ : groupAxes_[GroupOf(q)]);
    series_[q]->setVisible(shown_[q]);
  }
  for (int g = 0; g < kGroupCount; ++g) {
    bool any = false;
    for (int q = 0; q < kQuantityCount; ++q) any = any || (GroupOf(q) == g && shown_[q]);
    groupAxes_[g]->setVisible(!normalised_ && any);
  }
  normalAxis_->setVisible(normalised_);
}

void CurvesWindow::SetPaused(bool paused) {
  paused_ = paused;
  pauseButton_->setText(paused ? "继续" : "暂停");
  if (!paused) {
    // Continuing leaves any zoom and scrolls on from the present.
    zoomed_ = false;
    stale_ = true;
    Refresh();
  }
}

void CurvesWindow::SetSpan(int index) {
  if (index < 0 || index >= static_cast<int>(kSpanSeconds.size())) return;
  spanCombo_->setCurrentIndex(index);
  span_ = kSpanSeconds[static_cast<std::size_t>(index)];
  timeAxis_->setTickInterval(span_ / 10.0);
  stale_ = true;
  if (!paused_) Refresh();
}

void CurvesWindow::SetNormalised(bool normalised) {
  normalCheck_->setChecked(normalised);
  if (normalised_ == normalised) return;
  normalised_ = normalised;
  AttachAxes();
  if (zoomed_) {
    ApplyZoom(VisibleFrom(), VisibleTo());
  } else if (paused_) {
    DrawCurves();
    SetAxisRanges();
  } else {
    Refresh();
  }
}

void CurvesWindow::SetQuantityShown(Quantity quantity, bool shown) {
  const auto q = static_cast<std::size_t>(quantity);
  checks_[q]->setChecked(shown);
  if (shown_[q] == shown) return;
  shown_[q] = shown;
  AttachAxes();
  DrawCurves();
  if (!zoomed_) SetAxisRanges();
}

void CurvesWindow::ZoomTo(double from, double to) {
  if (!(to > from)) return;
  ApplyZoom(from, to);
}

void CurvesWindow::ResetView() { SetPaused(false); }

int CurvesWindow::PlotColumns() const {
  return std::max(kMinColumns, static_cast<int>(chart_->plotArea().width()));
}

void CurvesWindow::Rebuild(double from, double to, bool live) {
  columns_ = PlotColumns();
  decimator_.Reset((to - from) / columns_);
  if (live) {
    next_ = 0;
    decimator_.Append(history_->Since(next_, from));
  } else {
    decimator_.Append(history_->Between(from, to));
  }
  stale_ = false;
}

void CurvesWindow::Refresh() {
  if (paused_) return;
  const double now = history_->Now();
  const double from = now - span_;
  if (stale_ || columns_ != PlotColumns()) {
    Rebuild(from, now, true);
  } else {
    decimator_.Append(history_->Since(next_));
  }
  decimator_.DropBefore(from);
  // Normalised curves are scaled by what the span shows; a zoom keeps that scaling.
  for (int g = 0; g < kGroupCount; ++g) {
    ValueRange r;
    for (int q = 0; q < kQuantityCount; ++q) {
      if (GroupOf(q) != g) continue;
      const ValueRange qr = decimator_.Range(static_cast<Quantity>(q));
      if (qr.empty) continue;
      r.low = r.empty ? qr.low : std::min(r.low, qr.low);
      r.high = r.empty ? qr.high : std::max(r.high, qr.high);
      r.empty = false;
    }
    const double spread = r.high - r.low;
    scaling_[g] = r.empty ? Scaling{} : spread > 0 ? Scaling{r.low, 1 / spread} : Scaling{r.low - 0.5, 1};
  }
  DrawCurves();
  DrawBands(from, now);
  SetAxisRanges();
  SetX(from, now);
}

void CurvesWindow::DrawCurves() {
  for (int q = 0; q < kQuantityCount; ++q) {
    if (!shown_[q]) {
      if (series_[q]->count() > 0) series_[q]->clear();
      continue;
    }
    decimator_.Points(static_cast<Quantity>(q), points_);
    const Scaling s = normalised_ ? scaling_[GroupOf(q)] : Scaling{};
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(points_.size()));
    for (const CurvePoint& p : points_) list.append(QPointF(p.time, (p.value - s.offset) * s.scale));
    series_[q]->replace(list);
  }
}

void CurvesWindow::DrawBands(double from, double to) {
  std::array<QList<QPointF>, kMotionKindCount> edges;
  for (const MotionBand& band : history_->Bands(from, to)) {
    const double start = std::max(band.start, from);
    const double end = std::isnan(band.end) ? to : std::min(band.end, to);
    auto& e = edges[static_cast<std::size_t>(band.kind)];
    e << QPointF(start, 0) << QPointF(start, 1) << QPointF(end, 1) << QPointF(end, 0);
  }
  for (int k = 0; k < kMotionKindCount; ++k) bandEdges_[k]->replace(edges[k]);
}

void CurvesWindow::SetAxisRanges() {
  applying_ = true;
  if (normalised_) {
    normalAxis_->setRange(-0.05, 1.05);
  } else {
    for (int g = 0; g < kGroupCount; ++g) {
      ValueRange r;
      for (int q = 0; q < kQuantityCount; ++q) {
        if (GroupOf(q) != g || !shown_[q]) continue;
        const ValueRange qr = decimator_.Range(static_cast<Quantity>(q));
        if (qr.empty) continue;
        r.low = r.empty ? qr.low : std::min(r.low, qr.low);
        r.high = r.empty ? qr.high : std::max(r.high, qr.high);
        r.empty = false;
      }
      const auto [low, high] = Padded(r);
      groupAxes_[g]->setRange(low, high);
      groupAxes_[g]->applyNiceNumbers();
    }
  }
  applying_ = false;
}

void CurvesWindow::SetX(double from, double to) {
  applying_ = true;
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
  zoomed_ = true;
  paused_ = true;
  pauseButton_->setText("继续");
  Rebuild(from, to, false);
  DrawCurves();
  DrawBands(from, to);
  SetX(from, to);
}

double CurvesWindow::VisibleFrom() const { return timeAxis_->min(); }
double CurvesWindow::VisibleTo() const { return timeAxis_->max(); }
int CurvesWindow::PointsDrawn(Quantity quantity) const {
  return static_cast<int>(series_[static_cast<std::size_t>(quantity)]->count());
}

bool CurvesWindow::ExportCsv(const QString& path) {
  const std::string text = SamplesCsv(history_->Between(VisibleFrom(), VisibleTo()));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  const auto size = static_cast<qint64>(text.size());
  return file.write(text.data(), size) == size && file.flush();
}

bool CurvesWindow::ExportPng(const QString& path) { return view_->grab().save(path, "PNG"); }

void CurvesWindow::ChooseCsvFile() {
  const QString name = "实时曲线_" + QDateTime::currentDateTime().toString("yyyyMMdd_HHmmss") + ".csv";
  const QString path = QFileDialog::getSaveFileName(this, "导出 CSV", name, "CSV 文件 (*.csv)");
  if (!path.isEmpty() && !ExportCsv(path)) {
    QtUiServices::ShowMessageBox(this, MessageIcon::Error, "导出失败", "    无法写入文件，请换一个位置；");
  }
}

void CurvesWindow::ChoosePngFile() {
  const QString name = "实时曲线_" + QDateTime::currentDateTime().toString("yyyyMMdd_HHmmss") + ".png";
  const QString path = QFileDialog::getSaveFileName(this, "导出 PNG", name, "PNG 图片 (*.png)");
  if (!path.isEmpty() && !ExportPng(path)) {
    QtUiServices::ShowMessageBox(this, MessageIcon::Error, "导出失败", "    无法写入文件，请换一个位置；");
  }
}

void CurvesWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  stale_ = true;
  Refresh();
  timer_.start();
}

void CurvesWindow::hideEvent(QHideEvent* event) {
  // Closed, the window costs nothing; the history fills on regardless.
  timer_.stop();
  QWidget::hideEvent(event);
}

void CurvesWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  stale_ = true;
}

}  // namespace dd
