#include "ui/qt/drive_search_dialog.h"

#include <QAction>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "app/drive_address.h"
#include "app/number_text.h"
#include "app/session.h"
#include "ui/qt/main_window.h"

namespace dd {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void AskDriveAddress(Session& session, QWidget* parent) {
  if (session.state.PortHandle.load() != 0) return;
  bool ok = false;
  const QString text = QInputDialog::getText(
      parent, kAddressTitle, "驱动器地址（1 到 247，出厂为 1）：", QLineEdit::Normal,
      QString::number(session.state.DriveAddress.load()), &ok);
  if (!ok) return;
  const std::string problem = ChangeDriveAddress(session, text.toStdString());
  if (!problem.empty()) session.Message(MessageIcon::Error, kAddressTitle, "    " + problem);
}

void InstallDriveAddressMenu(Session& session, MainWindow& window) {
  QMenu* tools = window.ToolsMenu();
  Session* s = &session;
  QWidget* parent = &window;
  QAction* address = tools->addAction("驱动器地址…", parent, [s, parent] { AskDriveAddress(*s, parent); });
  QAction* search = tools->addAction("搜索驱动器…", parent, [s, parent] {
    if (s->state.PortHandle.load() != 0) return;
    DriveSearchDialog dialog(*s, parent);
    dialog.exec();
  });
  QObject::connect(tools, &QMenu::aboutToShow, parent, [s, address, search] {
    const bool closed = s->state.PortHandle.load() == 0;
    address->setEnabled(closed);
    search->setEnabled(closed);
  });
}

DriveSearchDialog::DriveSearchDialog(Session& session, QWidget* parent)
    : QDialog(parent), session_(session), ports_(UsableSearchPorts()) {
  setWindowTitle(kSearchTitle);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  port_ = new QComboBox(this);
  port_->addItem("全部可用串口");
  const std::string chosenPort = session_.controls.ComboText(Control::PortList);
  for (const SearchPort& p : ports_) {
    port_->addItem(Q(p.name));
    if (p.name == chosenPort) port_->setCurrentIndex(port_->count() - 1);
  }
  baud_ = new QComboBox(this);
  baud_->addItem("全部（由快到慢）");
  for (const int32_t b : kSearchBaudRates) baud_->addItem(QString::number(b));
  range_ = new QLineEdit("1-247", this);
  form->addRow("串口：", port_);
  form->addRow("波特率：", baud_);
  form->addRow("地址范围：", range_);
  layout->addLayout(form);
  bar_ = new QProgressBar(this);
  status_ = new QLabel(this);
  layout->addWidget(bar_);
  layout->addWidget(status_);
  table_ = new QTableWidget(0, 5, this);
  table_->setHorizontalHeaderLabels({"串口", "波特率", "地址", "型号代码", "驱动器号"});
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(table_);
  auto* buttons = new QHBoxLayout;
  start_ = new QPushButton("开始搜索", this);
  cancel_ = new QPushButton("取消搜索", this);
  use_ = new QPushButton("使用所选驱动器", this);
  auto* close = new QPushButton("关闭", this);
  for (QPushButton* b : {start_, cancel_, use_, close}) buttons->addWidget(b);
  layout->addLayout(buttons);
  cancel_->setEnabled(false);
  use_->setEnabled(false);
  connect(start_, &QPushButton::clicked, this, [this] { Start(); });
  connect(cancel_, &QPushButton::clicked, this, &DriveSearchDialog::Cancel);
  connect(use_, &QPushButton::clicked, this, [this] { UseRow(table_->currentRow()); });
  connect(close, &QPushButton::clicked, this, &DriveSearchDialog::reject);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { UseRow(row); });
  connect(table_, &QTableWidget::itemSelectionChanged, this,
          [this] { use_->setEnabled(table_->currentRow() >= 0); });
  timer_ = new QTimer(this);
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, &DriveSearchDialog::Refresh);
  resize(560, 420);
}

DriveSearchDialog::~DriveSearchDialog() = default;

bool DriveSearchDialog::Start() {
  if (job_) return false;
  std::string error;
  const auto range = ParseAddressRange(range_->text().toStdString(), error, true);
  if (!range) {
    session_.Message(MessageIcon::Error, kSearchTitle, "    " + error + "；");
    return false;
  }
  SearchPlan plan;
  plan.addresses = *range;
  if (port_->currentIndex() == 0) {
    plan.ports = ports_;
  } else {
    plan.ports = {ports_[static_cast<std::size_t>(port_->currentIndex() - 1)]};
  }
  if (plan.ports.empty()) {
    session_.Message(MessageIcon::Error, kSearchTitle, "    没有可用的串口；");
    return false;
  }
  if (baud_->currentIndex() == 0) {
    plan.bauds.assign(std::begin(kSearchBaudRates), std::end(kSearchBaudRates));
  } else {
    plan.bauds = {kSearchBaudRates[baud_->currentIndex() - 1]};
  }
  found_.clear();
  table_->setRowCount(0);
  bar_->setRange(0, static_cast<int>(plan.ProbeCount()));
  bar_->setValue(0);
  job_ = std::make_unique<DriveSearchJob>(std::move(plan));
  for (QWidget* w : std::initializer_list<QWidget*>{start_, port_, baud_, range_, use_}) w->setEnabled(false);
  cancel_->setEnabled(true);
  status_->setText("正在搜索…");
  timer_->start();
  return true;
}

void DriveSearchDialog::Cancel() {
  if (!job_) return;
  job_->Cancel();
  // Within one transaction: the job ends before its destructor returns.
  job_.reset();
  timer_->stop();
  Finish(SearchOutcome{SearchEnd::Cancelled, found_, "", ""});
}

void DriveSearchDialog::Refresh() {
  if (!job_) return;
  const DriveSearchJob::Snapshot snap = job_->Take();
  ShowFound(snap.found);
  const SearchProgress& p = snap.progress;
  bar_->setValue(static_cast<int>(p.done));
  if (p.baud != 0) {
    status_->setText(QString("%1，波特率 %2，地址 %3；每秒 %4 个地址，约剩 %5 秒")
                         .arg(Q(p.port))
                         .arg(p.baud)
                         .arg(p.address)
                         .arg(std::lround(p.probesPerSecond))
                         .arg(std::lround(std::ceil(p.secondsLeft))));
  }
  if (snap.outcome) {
    job_.reset();
    timer_->stop();
    Finish(*snap.outcome);
  }
}

void DriveSearchDialog::ShowFound(const std::vector<FoundDrive>& found) {
  for (std::size_t i = found_.size(); i < found.size(); ++i) {
    const FoundDrive& d = found[i];
    const int row = table_->rowCount();
    table_->insertRow(row);
    const QString cells[] = {Q(d.port.name), QString::number(d.baud), QString::number(d.address),
                             Q(PlainDecimal(d.model)),
                             d.driveNumber ? QString::number(*d.driveNumber) : QString("-")};
    for (int c = 0; c < 5; ++c) table_->setItem(row, c, new QTableWidgetItem(cells[c]));
  }
  found_ = found;
}

void DriveSearchDialog::Finish(const SearchOutcome& outcome) {
  ShowFound(outcome.found);
  for (QWidget* w : std::initializer_list<QWidget*>{start_, port_, baud_, range_}) w->setEnabled(true);
  cancel_->setEnabled(false);
  use_->setEnabled(table_->currentRow() >= 0);
  const QString count = QString("找到 %1 台驱动器").arg(found_.size());
  switch (outcome.end) {
    case SearchEnd::Finished: status_->setText("搜索完成，" + count + "；"); break;
    case SearchEnd::Cancelled: status_->setText("搜索已取消，" + count + "；"); break;
    case SearchEnd::PortLost:
      status_->setText(Q(outcome.message));
      session_.Message(MessageIcon::Error, kSearchTitle, "    " + outcome.message);
      break;
  }
}

bool DriveSearchDialog::UseRow(int row) {
  if (job_ || row < 0 || row >= static_cast<int>(found_.size())) return false;
  if (!UseFoundDrive(session_, found_[static_cast<std::size_t>(row)])) {
    session_.Message(MessageIcon::Error, kSearchTitle, "    该串口不在串口列表中，或通信已开启；");
    return false;
  }
  accept();
  return true;
}

void DriveSearchDialog::reject() {
  Cancel();
  QDialog::reject();
}

}  // namespace dd
