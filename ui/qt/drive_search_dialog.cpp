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

#include "app/drive_address.h"
#include "app/session.h"
#include "ui/qt/main_window.h"

namespace dd {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void AskDriveAddress(Session& session, QWidget* parent) {
  if (!DriveAddressChangeable(session)) return;
  bool ok = false;
  const QString text = QInputDialog::getText(parent, kAddressTitle, kAddressPrompt, QLineEdit::Normal,
                                             QString::number(session.state.DriveAddress.load()), &ok);
  if (ok) EnterDriveAddress(session, text.toStdString());
}

void InstallDriveAddressMenu(Session& session, MainWindow& window) {
  QMenu* tools = window.ToolsMenu();
  Session* s = &session;
  QWidget* parent = &window;
  QAction* address = tools->addAction(kAddressMenuText, parent, [s, parent] { AskDriveAddress(*s, parent); });
  QAction* search = tools->addAction(kSearchMenuText, parent, [s, parent] {
    if (!DriveAddressChangeable(*s)) return;
    DriveSearchDialog dialog(*s, parent);
    dialog.exec();
  });
  QObject::connect(tools, &QMenu::aboutToShow, parent, [s, address, search] {
    address->setEnabled(DriveAddressChangeable(*s));
    search->setEnabled(DriveAddressChangeable(*s));
  });
}

DriveSearchDialog::DriveSearchDialog(Session& session, QWidget* parent) : QDialog(parent), view_(session) {
  setWindowTitle(kSearchTitle);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  port_ = new QComboBox(this);
  for (const std::string& p : view_.PortChoices()) port_->addItem(Q(p));
  port_->setCurrentIndex(view_.FirstPortChoice());
  baud_ = new QComboBox(this);
  for (const std::string& b : DriveSearchView::BaudChoices()) baud_->addItem(Q(b));
  range_ = new QLineEdit(kWholeAddressRange, this);
  form->addRow("串口：", port_);
  form->addRow("波特率：", baud_);
  form->addRow("地址范围：", range_);
  layout->addLayout(form);
  bar_ = new QProgressBar(this);
  status_ = new QLabel(this);
  layout->addWidget(bar_);
  layout->addWidget(status_);
  table_ = new QTableWidget(0, 5, this);
  QStringList headers;
  for (const char* h : kSearchColumns) headers << h;
  table_->setHorizontalHeaderLabels(headers);
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
          [this] { use_->setEnabled(!view_.Running() && table_->currentRow() >= 0); });
  timer_ = new QTimer(this);
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, &DriveSearchDialog::Refresh);
  resize(560, 420);
}

DriveSearchDialog::~DriveSearchDialog() = default;

bool DriveSearchDialog::Start() {
  if (!view_.Start(port_->currentIndex(), baud_->currentIndex(), range_->text().toStdString())) return false;
  table_->setRowCount(0);
  timer_->start();
  ShowView();
  return true;
}

void DriveSearchDialog::Cancel() {
  view_.Cancel();
  ShowView();
}

void DriveSearchDialog::Refresh() {
  view_.Poll();
  ShowView();
}

void DriveSearchDialog::ShowView() {
  for (int row = table_->rowCount(); row < view_.Rows(); ++row) {
    table_->insertRow(row);
    const auto cells = view_.Row(row);
    for (int c = 0; c < 5; ++c) table_->setItem(row, c, new QTableWidgetItem(Q(cells[static_cast<std::size_t>(c)])));
  }
  bar_->setRange(0, static_cast<int>(view_.Total()));
  bar_->setValue(static_cast<int>(view_.Done()));
  status_->setText(Q(view_.Status()));
  const bool running = view_.Running();
  if (!running) timer_->stop();
  for (QWidget* w : std::initializer_list<QWidget*>{start_, port_, baud_, range_}) w->setEnabled(!running);
  cancel_->setEnabled(running);
  use_->setEnabled(!running && table_->currentRow() >= 0);
}

bool DriveSearchDialog::UseRow(int row) {
  if (!view_.UseRow(row)) return false;
  accept();
  return true;
}

void DriveSearchDialog::reject() {
  Cancel();
  QDialog::reject();
}

}  // namespace dd
