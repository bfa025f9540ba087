#include "ui/qt/bus_log_window.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QDir>
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
#include <chrono>
#include <array>
#include <cstdio>

#include "app/bus_log_format.h"
#include "app/session.h"
#include "ui/file_texts.h"
#include "ui/qt/main_window.h"

namespace dd {
namespace {

constexpr std::size_t kMaxRecords = 20'000;  // kept for filters and saving
constexpr int kMaxRows = 30'000;             // shown
constexpr uint64_t kHistoryOnOpen = 2'000;   // the last records already in the log

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

class BusLogTableModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : kBusLogColumnCount; }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const BusLogRow& row = rows_[static_cast<std::size_t>(index.row())];
    if (role == Qt::BackgroundRole) return row.failed ? QVariant(QColor(255, 210, 210)) : QVariant();
    if (role != Qt::DisplayRole) return {};
    return Q(row.Cell(index.column()));
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return QString::fromUtf8(kBusLogColumnTitles[section]);
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

BusLogWindow::BusLogWindow(BusLog& log, QWidget* parent) : QWidget(parent, Qt::Window), log_(log) {
  setWindowTitle(QStringLiteral("通信日志"));
  resize(1100, 560);
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
  table_->setColumnWidth(0, fontMetrics().horizontalAdvance("2026-12-07 12:01:02.123") + 16);
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
    // Paused, the records kept coming into the counters: the table catches up now.
    if (!paused_) Rebuild();
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
  QAction* action = window.ToolsMenu()->addAction(QStringLiteral("通信日志(&L)"), parent,
                                                  [parent] { BusLogWindow::ShowFor(parent); });
  action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
}

bool BusLogWindow::Passes(const BusRecord& r) const {
  return BusLogFilter{hidePolling_->isChecked(), failuresOnly_->isChecked()}.Passes(r);
}

void BusLogWindow::TakeNewRecords() {
  std::vector<BusRecord> taken;
  // Also while paused: the counters show the bus as it is, only the table stands still.
  tally_.Lost(log_.ReadFrom(cursor_, taken, kMaxRecords));
  const QScrollBar* scroll = table_->verticalScrollBar();
  const bool following = scroll->value() == scroll->maximum();
  std::vector<BusLogRow> rows;
  for (const BusRecord& r : taken) {
    tally_.Take(r);
    if (!paused_ && Passes(r)) AppendLogRows(r, rows);
    records_.push_back(r);
  }
  while (records_.size() > kMaxRecords) records_.pop_front();
  model_->Append(std::move(rows));
  if (following && !taken.empty() && !paused_) table_->scrollToBottom();
  UpdateCounters();
}

void BusLogWindow::Rebuild() {
  model_->Reset();
  std::vector<BusLogRow> rows;
  for (const BusRecord& r : records_) {
    if (Passes(r)) AppendLogRows(r, rows);
  }
  model_->Append(std::move(rows));
  table_->scrollToBottom();
}

void BusLogWindow::Clear() {
  records_.clear();
  model_->Reset();
  tally_.Clear();
  UpdateCounters();
}

int BusLogWindow::ShownRows() const { return model_->rowCount({}); }

QString BusLogWindow::RowText(int row, int column) const { return model_->index(row, column).data().toString(); }

QString BusLogWindow::CountersText() const { return counters_->text(); }

void BusLogWindow::UpdateCounters() {
  const QString text = Q(tally_.Text(std::chrono::steady_clock::now(), paused_));
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
  const QString folder = Q(LastFolder());
  const QString name = Q(TimedFileName("通信日志", "txt", std::chrono::system_clock::now()));
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("保存通信日志"),
                                                    QDir(folder.isEmpty() ? QDir::homePath() : folder).filePath(name),
                                                    QStringLiteral("文本文件 (*.txt);;所有文件 (*)"));
  if (path.isEmpty()) return;
  RememberFolderOf(path.toStdString());
  if (!SaveShown(path.toStdString())) {
    QMessageBox::warning(this, QStringLiteral("通信日志"),
                         QStringLiteral("无法写入文件“%1”").arg(path));
  }
}

}  // namespace dd
