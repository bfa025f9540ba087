#include "ui/qt/parameter_file_menu.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>
#include <memory>

#include "app/session.h"
#include "params/parameter_file_actions.h"
#include "ui/file_texts.h"

namespace dd {
namespace {

constexpr const char* kFileFilter = "参数文件 (*.txt);;所有文件 (*)";

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A save dialog starts in the folder last used (else the documents folder, else home).
QString StartFolder() {
  const QString last = Q(LastFolder());
  if (!last.isEmpty() && QDir(last).exists()) return last;
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QDir(documents).exists() ? documents : QDir::homePath();
}

}  // namespace

std::unique_ptr<QDialog> NewComparisonDialog(QWidget* parent, const std::vector<ComparisonRow>& rows) {
  auto owned = std::make_unique<QDialog>(parent);
  QDialog& dialog = *owned;
  dialog.setWindowTitle(kCompareTitle);
  auto* layout = new QVBoxLayout(&dialog);
  int differing = 0;
  for (const ComparisonRow& r : rows) differing += r.differs ? 1 : 0;
  layout->addWidget(new QLabel(differing == 0 ? QString("驱动器中的参数与文件一致。")
                                              : QString("有 %1 项参数与文件不同（粗体）。").arg(differing)));
  auto* table = new QTableWidget(static_cast<int>(rows.size()), 3, &dialog);
  table->setHorizontalHeaderLabels({"参数", "驱动器", "文件"});
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const ComparisonRow& r = rows[static_cast<std::size_t>(i)];
    const QString cells[3] = {Q(r.parameter), Q(r.drive), Q(r.file)};
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      QFont font = item->font();
      font.setBold(r.differs);
      item->setFont(font);
      table->setItem(i, c, item);
    }
  }
  // Every row in view and the columns across the whole width: sized for the content.
  table->resizeColumnsToContents();
  const int contentWidth = table->horizontalHeader()->length() + 2 * table->frameWidth();
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  int rowsHeight = table->horizontalHeader()->sizeHint().height() + 2 * table->frameWidth();
  for (int i = 0; i < table->rowCount(); ++i) rowsHeight += table->rowHeight(i);
  table->setMinimumSize(contentWidth + 40, rowsHeight);
  layout->addWidget(table);
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* restore = buttons->addButton("恢复文件中的参数…", QDialogButtonBox::AcceptRole);
  buttons->addButton("关闭", QDialogButtonBox::RejectRole);
  restore->setEnabled(differing > 0);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  return owned;
}

ParameterFileDialogs StandardParameterFileDialogs(QWidget* parent) {
  ParameterFileDialogs d;
  d.saveFile = [parent](const std::string& title, const std::string& proposedName) {
    return QFileDialog::getSaveFileName(parent, Q(title), QDir(StartFolder()).filePath(Q(proposedName)), kFileFilter)
        .toStdString();
  };
  d.openFile = [parent](const std::string& title) {
    return QFileDialog::getOpenFileName(parent, Q(title), StartFolder(), kFileFilter).toStdString();
  };
  d.confirmRestore = [parent](const std::string& text, bool offerNumber, bool& withNumber) {
    QMessageBox box(QMessageBox::Question, kRestoreTitle, Q(text), QMessageBox::NoButton, parent);
    QPushButton* go = box.addButton("写入并保存", QMessageBox::AcceptRole);
    box.addButton("取消", QMessageBox::RejectRole);
    if (offerNumber) {
      box.setCheckBox(new QCheckBox("同时写入驱动器号（总线地址；复制到另一轴时不要勾选）"));
    }
    box.exec();
    withNumber = box.checkBox() != nullptr && box.checkBox()->isChecked();
    return box.clickedButton() == go;
  };
  d.showComparison = [parent](const std::vector<ComparisonRow>& rows) {
    return NewComparisonDialog(parent, rows)->exec() == QDialog::Accepted;
  };
  return d;
}

ParameterFileMenu::ParameterFileMenu(Session& session, QMenu& fileMenu,
                                     ParameterFileDialogs dialogs)
    : QObject(&fileMenu), session_(session), flow_(session, std::move(dialogs)) {
  backup_ = fileMenu.addAction("备份参数(&B)…", this, [this] { flow_.Backup(); });
  restore_ = fileMenu.addAction("恢复参数(&R)…", this, [this] { flow_.Restore(); });
  compare_ = fileMenu.addAction("与文件比较(&C)…", this, [this] { flow_.Compare(); });
  connect(&fileMenu, &QMenu::aboutToShow, this, &ParameterFileMenu::UpdateEnabled);
  UpdateEnabled();
}

void ParameterFileMenu::UpdateEnabled() {
  const bool available = ParameterFileActionsAvailable(session_);
  for (QAction* a : {backup_, restore_, compare_}) a->setEnabled(available);
}

}  // namespace dd
