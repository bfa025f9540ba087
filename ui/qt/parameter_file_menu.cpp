#include "ui/qt/parameter_file_menu.h"

#include <QAction>
#include <QCheckBox>
#include <QDate>
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

#include "app/number_text.h"
#include "app/session.h"
#include "params/parameter_file_actions.h"

namespace dd {
namespace {

constexpr const char* kFileFilter = "参数文件 (*.txt);;所有文件 (*)";

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Problems(const QString& path, const std::vector<FileProblem>& problems) {
  std::string text;
  for (const FileProblem& p : problems) {
    if (!text.empty()) text += "\r\n";
    text += "    " + DescribeProblem(path.toStdString(), p, /*chinese=*/true) + "；";
  }
  return text + "\r\n    驱动器未写入任何参数；";
}

bool RunComparisonTable(QWidget* parent, const std::vector<ComparisonRow>& rows) {
  QDialog dialog(parent);
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
    const QString cells[3] = {r.parameter, r.drive, r.file};
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      QFont font = item->font();
      font.setBold(r.differs);
      item->setFont(font);
      table->setItem(i, c, item);
    }
  }
  table->resizeColumnsToContents();
  table->setMinimumWidth(table->horizontalHeader()->length() + 30);
  layout->addWidget(table);
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* restore = buttons->addButton("恢复文件中的参数…", QDialogButtonBox::AcceptRole);
  buttons->addButton("关闭", QDialogButtonBox::RejectRole);
  restore->setEnabled(differing > 0);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace

ParameterFileDialogs StandardParameterFileDialogs(QWidget* parent) {
  ParameterFileDialogs d;
  d.saveFile = [parent](const QString& title, const QString& proposed) {
    return QFileDialog::getSaveFileName(parent, title, proposed, kFileFilter);
  };
  d.openFile = [parent](const QString& title) {
    return QFileDialog::getOpenFileName(
        parent, title, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
        kFileFilter);
  };
  d.confirmRestore = [parent](const QString& text, bool offerNumber, bool& withNumber) {
    QMessageBox box(QMessageBox::Question, kRestoreTitle, text, QMessageBox::NoButton, parent);
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
    return RunComparisonTable(parent, rows);
  };
  return d;
}

ParameterFileMenu::ParameterFileMenu(Session& session, QMenu& fileMenu,
                                     ParameterFileDialogs dialogs)
    : QObject(&fileMenu), session_(session), dialogs_(std::move(dialogs)) {
  backup_ = fileMenu.addAction("备份参数…", this, &ParameterFileMenu::Backup);
  restore_ = fileMenu.addAction("恢复参数…", this, &ParameterFileMenu::Restore);
  compare_ = fileMenu.addAction("与文件比较…", this, &ParameterFileMenu::Compare);
  connect(&fileMenu, &QMenu::aboutToShow, this, &ParameterFileMenu::UpdateEnabled);
  UpdateEnabled();
}

void ParameterFileMenu::UpdateEnabled() {
  const bool available = ParameterFileActionsAvailable(session_);
  for (QAction* a : {backup_, restore_, compare_}) a->setEnabled(available);
}

void ParameterFileMenu::Backup() {
  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;
  ParameterMask all;
  all.fill(true);
  all[IndexOf(ParameterWrite::SensorConfig)] = session_.state.SensorLevelSupported.load();
  ReadDriveInBackground(session_, all, [this](std::optional<DriveParameters> read,
                                              const std::string& failure) {
    if (!read) {
      session_.Message(MessageIcon::Error, kBackupTitle, "    " + failure);
      return;
    }
    const QString date = QDate::currentDate().toString("yyyy-MM-dd");
    const QString proposed =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QString("驱动器参数_%1_%2.txt").arg(Q(PlainDecimal(*read->facts.model)), date));
    const QString path = dialogs_.saveFile(
        "备份参数（读取驱动器中的值，未保存的修改不在其中）", proposed);
    if (path.isEmpty()) return;
    const std::string text = BackupText(
        *read, {"DriveDesk 参数备份，" + date.toStdString(),
                "数值为驱动器寄存器中的值；注释为对应的读数。"});
    const std::string error = WriteFileAtomically(path.toStdString(), text);
    if (!error.empty()) {
      session_.Message(MessageIcon::Error, kBackupTitle,
                       "    无法写入文件：" + path.toStdString() + "；\r\n    " + error);
      return;
    }
    session_.Message(MessageIcon::Information, kBackupTitle,
                     "    驱动器参数已备份到：" + path.toStdString() +
                         "；\r\n    未保存的修改不在备份中；");
  });
}

bool ParameterFileMenu::LoadChosen(const QString& title, QString& path, ParameterFile& file) {
  path = dialogs_.openFile(title);
  if (path.isEmpty()) return false;
  std::string text;
  std::vector<FileProblem> problems;
  if (const auto problem = ReadParameterText(path.toStdString(), text)) {
    problems.push_back(*problem);
  } else {
    problems = ParseParameterFile(text, file);
  }
  if (problems.empty()) return true;
  session_.Message(MessageIcon::Error, title.toStdString(), Problems(path, problems));
  return false;
}

void ParameterFileMenu::Compare() {
  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;
  WithFileAndDrive(kCompareTitle, [this](const QString& path, const ParameterFile& file,
                                         const DriveParameters& read) {
    std::vector<ComparisonRow> rows;
    const FieldBounds& b = read.facts.bounds;
    const auto rpm = RpmPerSpeedUnit(b.speedCoefficient, b.pulsesPerRev);
    for (const ParameterSpec& p : ParameterTable()) {
      const auto& mine = file.values[IndexOf(p.write)];
      const auto& theirs = read.values[IndexOf(p.write)];
      if (!mine || !theirs) continue;
      QString caption = Q(std::string(p.caption));
      caption.chop(1);  // the caption's colon
      rows.push_back({caption, Q(PersonReading(p.write, *theirs, rpm, b.pulsesPerRev)),
                      Q(PersonReading(p.write, *mine, rpm, b.pulsesPerRev)), *mine != *theirs});
    }
    if (dialogs_.showComparison(rows)) ConfirmAndRestore(path, file, read);
  });
}

void ParameterFileMenu::Restore() {
  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;
  WithFileAndDrive(kRestoreTitle, [this](const QString& path, const ParameterFile& file,
                                         const DriveParameters& read) { ConfirmAndRestore(path, file, read); });
}

void ParameterFileMenu::WithFileAndDrive(const char* title, FileAndDrive then) {
  QString path;
  auto file = std::make_shared<ParameterFile>();
  if (!LoadChosen(title, path, *file)) return;
  ReadDriveInBackground(
      session_, RestoredParameters(*file, true),
      [this, title, path, file, then](std::optional<DriveParameters> read, const std::string& failure) {
        if (!read) {
          session_.Message(MessageIcon::Error, title, "    " + failure);
          return;
        }
        then(path, *file, *read);
      });
}

void ParameterFileMenu::ConfirmAndRestore(const QString& path, const ParameterFile& file,
                                          const DriveParameters& drive) {
  const auto problems = CheckAgainstDrive(file, drive.facts, /*ignoreModel=*/false);
  if (!problems.empty()) {
    session_.Message(MessageIcon::Error, kRestoreTitle, Problems(path, problems));
    return;
  }
  std::string changes;
  bool numberDiffers = false;
  for (const Difference& d : Differences(drive.values, file, RestoredParameters(file, true))) {
    if (d.parameter == ParameterWrite::DriveNumber) {
      numberDiffers = true;
      continue;
    }
    changes += "\r\n    " + ChangeLine(d, drive.facts) + "；";
  }
  if (changes.empty() && !numberDiffers) {
    session_.Message(MessageIcon::Information, kRestoreTitle, "    驱动器中的参数与文件一致，无需恢复；");
    return;
  }
  const std::string text = "    将从 " + path.toStdString() + " 写入以下参数并保存到驱动器：" +
                           (changes.empty() ? "\r\n    （仅驱动器号不同）" : changes);
  bool withNumber = false;
  if (!dialogs_.confirmRestore(Q(text), numberDiffers, withNumber)) return;
  // The dialogs took time: the axis or the connection may have changed meanwhile.
  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;
  Session* s = &session_;
  const DriveFacts facts = drive.facts;
  const bool started = RestoreLikeSave(session_, file, withNumber, [s, facts](const RestoreOutcome& o) {
    s->Message(o.AllTook() ? MessageIcon::Information : MessageIcon::Error, kRestoreTitle,
               RestoreOutcomeText(o, facts));
  });
  if (!started) {
    session_.Message(MessageIcon::Error, kRestoreTitle, "    恢复未完成：通信已关闭或正在保存参数；");
  }
}

}  // namespace dd
