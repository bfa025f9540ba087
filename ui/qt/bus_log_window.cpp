#include "ui/qt/bus_log_window.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cstdio>

#include "app/bus_log_format.h"
#include "link/frame_meaning.h"
#include "ui/qt/main_window.h"

namespace dd {
namespace {

constexpr std::size_t kMaxRecords = 20'000;  // kept for filters and saving
constexpr int kMaxRows = 30'000;             // shown
constexpr uint64_t kHistoryOnOpen = 2'000;   // the last records already in the log

// The status worker's reads; every cycle begins with the error code.
constexpr std::array<std::string_view, 9> kPollingReads{
    "ReadErrorCode", "ReadActualPosition", "ReadTargetPosition", "ReadPositionDeviation",
    "ReadActualCurrent", "ReadActualSpeed", "ReadRunTime", "ReadTravelTotal", "ReadPortStatus"};

bool IsPollingRead(const BusRecord& r) {
  return std::find(kPollingReads.begin(), kPollingReads.end(), r.operation) != kPollingReads.end();
}

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString ValueText(const OperationShape& shape, double value) {
  QString text = QString::number(value, 'f', shape.scale < 1 ? 2 : 0);
  if (!shape.unit.empty()) text += ' ' + Text(shape.unit);
  return text;
}

QString RequestMeaning(const BusRecord& r) {
  const OperationShape* shape = OperationOfRequest(r.Request());
  if (shape == nullptr) return QStringLiteral("程序不发送的请求");
  QString text = Text(shape->name);
  if (shape->command >= 0) {
    text += QStringLiteral(" 控制字 0x%1").arg(shape->command, 4, 16, QChar('0'));
  } else {
    text += QStringLiteral(" 寄存器 0x%1").arg(shape->reg, 4, 16, QChar('0'));
    const bool write = shape->function == 6 || shape->function == 16;
    if (const auto value = FrameValue(*shape, r.Request(), {}); write && value) {
      text += QStringLiteral(" 写入 ") + ValueText(*shape, *value);
    }
  }
  if (r.attempt > 1) text += QStringLiteral("（第 %1 次）").arg(r.attempt);
  return text;
}

QString ReplyMeaning(const BusRecord& r) {
  if (r.Request().empty()) return QStringLiteral("读取放弃后迟到的应答，已丢弃");
  if (r.result != kOk) return QStringLiteral("%1 字节，无法使用").arg(r.replySize);
  const OperationShape* shape = OperationOfRequest(r.Request());
  if (shape == nullptr) return {};
  const bool read = shape->function == 3 || shape->function == 4;
  if (!read) return QStringLiteral("驱动器已确认");
  const auto value = FrameValue(*shape, r.Request(), r.Reply());
  return value ? Text(shape->name) + QStringLiteral(" = ") + ValueText(*shape, *value) : QString();
}

}  // namespace

struct BusLogRow {
  QString time, direction, bytes, meaning;
  bool failed = false;
  uint64_t sequence = 0;
};

class BusLogTableModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 4; }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const BusLogRow& row = rows_[static_cast<std::size_t>(index.row())];
    if (role == Qt::BackgroundRole) return row.failed ? QVariant(QColor(255, 210, 210)) : QVariant();
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
      case 0: return row.time;
      case 1: return row.direction;
      case 2: return row.bytes;
      default: return row.meaning;
    }
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[] = {"时间", "方向", "字节", "含义"};
    return QString::fromUtf8(kTitles[section]);
  }

  void Append(std::vector<BusLogRow>&& rows) {
    if (rows.empty()) return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    for (auto& row : rows) rows_.push_back(std::move(row));
    endInsertRows();
    const int excess = static_cast<int>(rows_.size()) - kMaxRows;
    if (excess > 0) {
      beginRemoveRows({}, 0, excess - 1);
      rows_.erase(rows_.begin(), rows_.begin() + excess);
      endRemoveRows();
    }
  }

  void Reset() {
    beginResetModel();
    rows_.clear();
    endResetModel();
  }

  const std::deque<BusLogRow>& Rows() const { return rows_; }

 private:
  std::deque<BusLogRow> rows_;
};

namespace {

void AddRows(const BusRecord& r, std::vector<BusLogRow>& rows) {
  if (r.notice) {
    rows.push_back({QString::fromStdString(IsoTime(r.sentWall)), QStringLiteral("--"), {},
                    QStringLiteral("提示：") + QString::fromStdString(*r.notice), false, r.sequence});
    return;
  }
  const std::string_view failure = FailureName(r);
  const bool failed = !failure.empty();
  const QString receivedAt = QString::fromStdString(IsoTime(r.ReceivedWall()));
  if (!r.Request().empty()) {
    rows.push_back({QString::fromStdString(IsoTime(r.sentWall)), QStringLiteral("TX"),
                    QString::fromStdString(HexBytes(r.Request())), RequestMeaning(r), failed,
                    r.sequence});
  }
  if (r.replySize > 0) {
    rows.push_back({receivedAt, QStringLiteral("RX"), QString::fromStdString(HexBytes(r.Reply())),
                    ReplyMeaning(r), failed, r.sequence});
  }
  if (failed) {
    rows.push_back({receivedAt, QStringLiteral("--"), Text(failure),
                    QStringLiteral("失败：") + Text(failure), true, r.sequence});
  }
}

}  // namespace

BusLogWindow::BusLogWindow(BusLog& log, QWidget* parent) : QWidget(parent, Qt::Window), log_(log) {
  setWindowTitle(QStringLiteral("通信日志"));
  resize(900, 520);
  model_ = new BusLogTableModel(this);
  table_ = new QTableView(this);
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->setVisible(false);
  // Fixed row heights and column widths, no wrapping or eliding: a live table must not
  // measure or lay out every cell's text on each refresh.
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideNone);
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setColumnWidth(0, 190);
  table_->setColumnWidth(1, 40);
  table_->setColumnWidth(2, 330);

  hidePolling_ = new QCheckBox(QStringLiteral("隐藏轮询读取"), this);
  failuresOnly_ = new QCheckBox(QStringLiteral("只显示失败"), this);
  pause_ = new QPushButton(QStringLiteral("暂停"), this);
  clear_ = new QPushButton(QStringLiteral("清除"), this);
  save_ = new QPushButton(QStringLiteral("保存…"), this);
  counters_ = new QLabel(this);
  counters_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // A new count must not lay the window out again.
  counters_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

  auto* bar = new QHBoxLayout;
  bar->addWidget(hidePolling_);
  bar->addWidget(failuresOnly_);
  bar->addStretch();
  bar->addWidget(pause_);
  bar->addWidget(clear_);
  bar->addWidget(save_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(table_);
  layout->addWidget(counters_);

  connect(hidePolling_, &QCheckBox::toggled, this, &BusLogWindow::Rebuild);
  connect(failuresOnly_, &QCheckBox::toggled, this, &BusLogWindow::Rebuild);
  connect(pause_, &QPushButton::clicked, this, [this] {
    paused_ = !paused_;
    pause_->setText(paused_ ? QStringLiteral("继续") : QStringLiteral("暂停"));
    if (!paused_) TakeNewRecords();
  });
  connect(clear_, &QPushButton::clicked, this, &BusLogWindow::Clear);
  connect(save_, &QPushButton::clicked, this, &BusLogWindow::SaveWithDialog);

  const uint64_t end = log_.End();
  cursor_ = end > kHistoryOnOpen ? end - kHistoryOnOpen : 0;
  TakeNewRecords();
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &BusLogWindow::TakeNewRecords);
  // Two refreshes a second read as live; painting the table costs about 6 ms a time.
  timer_->start(500);
}

BusLogWindow::~BusLogWindow() = default;

void BusLogWindow::ShowFor(QWidget* mainWindow) {
  static QPointer<BusLogWindow> window;
  if (window.isNull()) {
    window = new BusLogWindow(ProgramBusLog(), mainWindow);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Closing the main window ends the program even while the log is open.
    window->setAttribute(Qt::WA_QuitOnClose, false);
  }
  window->show();
  window->raise();
  window->activateWindow();
}

void InstallBusLogMenu(MainWindow& window) {
  QWidget* parent = &window;
  window.ToolsMenu()->addAction(QStringLiteral("通信日志"), parent,
                                [parent] { BusLogWindow::ShowFor(parent); });
}

bool BusLogWindow::Passes(const BusRecord& r) const {
  if (hidePolling_->isChecked() && IsPollingRead(r)) return false;
  if (failuresOnly_->isChecked() && FailureName(r).empty() && !r.notice) return false;
  return true;
}

void BusLogWindow::TakeNewRecords() {
  if (!paused_) {
    std::vector<BusRecord> taken;
    lost_ += log_.ReadFrom(cursor_, taken, kMaxRecords);
    const QScrollBar* scroll = table_->verticalScrollBar();
    const bool following = scroll->value() == scroll->maximum();
    std::vector<BusLogRow> rows;
    for (const BusRecord& r : taken) {
      if (!r.Request().empty()) ++requests_;
      if (r.attempt > 1) ++retries_;
      if (const auto failure = FailureName(r); !failure.empty()) ++failures_[std::string(failure)];
      if (r.operation == kPollingReads[0] && r.attempt == 1) cycleStarts_.push_back(r.sent);
      if (Passes(r)) AddRows(r, rows);
      records_.push_back(r);
    }
    while (records_.size() > kMaxRecords) records_.pop_front();
    model_->Append(std::move(rows));
    if (following && !taken.empty()) table_->scrollToBottom();
  }
  UpdateCounters();
}

void BusLogWindow::Rebuild() {
  model_->Reset();
  std::vector<BusLogRow> rows;
  for (const BusRecord& r : records_) {
    if (Passes(r)) AddRows(r, rows);
  }
  model_->Append(std::move(rows));
  table_->scrollToBottom();
}

void BusLogWindow::Clear() {
  records_.clear();
  model_->Reset();
  requests_ = retries_ = lost_ = 0;
  failures_.clear();
  cycleStarts_.clear();
  UpdateCounters();
}

int BusLogWindow::ShownRows() const { return model_->rowCount({}); }

QString BusLogWindow::CountersText() const { return counters_->text(); }

void BusLogWindow::UpdateCounters() {
  const auto now = std::chrono::steady_clock::now();
  while (!cycleStarts_.empty() && now - cycleStarts_.front() > std::chrono::seconds(1)) {
    cycleStarts_.pop_front();
  }
  QString failures;
  for (const auto& [name, count] : failures_) {
    failures += QStringLiteral(" %1 %2").arg(QString::fromStdString(name)).arg(count);
  }
  QString text = QStringLiteral("请求 %1    重试 %2    失败%3    轮询 %4 次/秒")
                     .arg(requests_)
                     .arg(retries_)
                     .arg(failures.isEmpty() ? QStringLiteral(" 0") : failures)
                     .arg(cycleStarts_.size());
  if (lost_ > 0) text += QStringLiteral("    未能显示 %1").arg(lost_);
  if (paused_) text += QStringLiteral("    （已暂停）");
  if (text != counters_->text()) counters_->setText(text);
}

bool BusLogWindow::SaveShown(const std::string& path) {
  std::string text;
  uint64_t last = UINT64_MAX;
  for (const BusLogRow& row : model_->Rows()) {
    if (row.sequence == last) continue;
    last = row.sequence;
    const auto it = std::lower_bound(records_.begin(), records_.end(), row.sequence,
                                     [](const BusRecord& r, uint64_t s) { return r.sequence < s; });
    if (it != records_.end() && it->sequence == row.sequence) AppendLogLines(*it, text);
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

void BusLogWindow::SaveWithDialog() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("保存通信日志"), QString(),
                                                    QStringLiteral("文本文件 (*.txt);;所有文件 (*)"));
  if (path.isEmpty()) return;
  if (!SaveShown(path.toStdString())) {
    QMessageBox::warning(this, QStringLiteral("通信日志"),
                         QStringLiteral("无法写入文件“%1”").arg(path));
  }
}

}  // namespace dd
